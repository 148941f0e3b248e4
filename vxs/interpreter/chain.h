// CHAIN: the program ends and another one starts, receiving the variables the statement names
// (their names and values are kept while the programs change) or, for "PROC=name" and
// "SUBPROC=name", a procedure file runs instead.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "vxs/compiler/pcb.h"

namespace vxs {

struct ChainVariable {
    std::string name;
    uint8_t kind = 0, attr = 0;
    uint16_t dimlen = 0;
    uint16_t dims[kMaxDims] = {};
    std::vector<uint8_t> bytes;  // an array's elements, or a scalar's value (a string's text)
};

struct ChainRequest {
    std::string target;
    bool files = false;
    std::vector<ChainVariable> variables;
};

// The request of the last CHAIN, taken by command mode.
bool takeChainRequest(ChainRequest& out);
// Gives the variables to the program about to run (names it does not have are passed over).
// Returns 0 or 9000.
int receiveChainVariables(pcb& pc, const std::vector<ChainVariable>& vars);

}  // namespace vxs
