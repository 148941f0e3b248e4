// The configuration state as one record, shared by the settings (config.cpp keeps it and answers
// the queries) and the configuration processor (configfile/configfile.cpp fills it from
// statements).  Everything else reads it through config.h.
#pragma once

#include <string>
#include <vector>

#include "vxs/config/config.h"

namespace vxs::cfgi {

struct ConfigState {
    uint8_t options[100] = {};   // OPTION flags not kept in the fields record
    int maxWorkstations = 1000;  // OPTION 9
    int lockOption = 31;         // OPTION 33
    int option97 = 5;
    int indexType = 7, btreeType = 1;
    bool nullRecordCheck = false;
    ConfigLimits limits;
    std::string workPath, configuredWorkPath, registryPath, editor, execute, executeSource;
    bool editorRemove = false, editorNoWait = false;
    std::string onqPath, printDir, spoolCmd, helpFile, helpTopic, applicationName, openDflt;
    std::string configFile, clientCurrentDir, logFile;
    bool loginNameSet = false;
    std::string loginName;
    std::vector<std::string> btreeVerify;
    std::string s23Drives;
    DisplayConfig display;
    PrinterTable defaultPrinter;
    std::vector<PrinterTable> printers;
    bool printerTranslation = false;
    std::vector<PrinterType> printerTypes;
    PrintScreenConfig printScreen;
    int wsidRequest = 0, wsidIncrement = 1, commandLineWsid = 0;
    bool wsidSession = false, wsidUnique = false;
    DriveEntry drives[26];
    std::string driveOrder;  // letters in the order their DRIVE statements succeeded
    std::vector<std::pair<std::string, std::string>> substitutions;
    std::vector<std::string> messages;
    bool startupDone = false;
    bool clipboardSet = false;
    std::string clipboard;
};

ConfigState& state();

}  // namespace vxs::cfgi
