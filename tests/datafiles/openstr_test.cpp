// The OPEN string: keyword matching in table order, values and their errors, key parts, and the
// creation keywords with SIZE=.
#include "vxs/datafiles/openstr.h"

#include <gtest/gtest.h>

#include <string>

#include "vxs/errors/errors.h"

namespace vxs {
namespace {

OpenSpec parsed(const std::string& text, bool printer = false) {
    OpenSpec o;
    EXPECT_EQ(parseOpenString(text, printer, o), 0) << text;
    return o;
}
int error(const std::string& text, bool printer = false) {
    OpenSpec o;
    o.name = "unchanged";
    const int err = parseOpenString(text, printer, o);
    EXPECT_EQ(o.name, "unchanged") << "a refused string leaves the record alone: " << text;
    return err;
}

TEST(OpenString, DefaultsAndCommonItems) {
    const OpenSpec d = parsed("");
    EXPECT_EQ(d.recl, 0);
    EXPECT_EQ(d.share, kShareNone);
    EXPECT_EQ(d.create, kCreateNone);
    EXPECT_EQ(d.eol, kEolCrlf);
    EXPECT_EQ(d.wait, 15);
    EXPECT_EQ(d.retry, 5);
    EXPECT_EQ(d.baud, 1200);
    EXPECT_EQ(d.parity, 'N');
    EXPECT_EQ(d.bufSize, 2000);
    EXPECT_EQ(d.copies, 1);
    EXPECT_EQ(d.pageOverflow, -1);

    const OpenSpec o = parsed(" name= Cust.Dat , RECL=64,shr, use ,wait=2,eol=lf,noclose,conv=$");
    EXPECT_EQ(o.name, "Cust.Dat") << "text keeps its case; blanks around it go";
    EXPECT_EQ(o.recl, 64);
    EXPECT_EQ(o.share, kShareAll);
    EXPECT_EQ(o.create, kCreateUse);
    EXPECT_EQ(o.wait, 2);
    EXPECT_EQ(o.eol, kEolLf);
    EXPECT_TRUE(o.noClose);
    EXPECT_EQ(o.conv, '$');
}

TEST(OpenString, KeywordsMatchInTableOrder) {
    EXPECT_EQ(parsed("shri").share, kShareInput) << "SHRI comes before SHR";
    EXPECT_EQ(parsed("SHRU").share, kShareAll);
    EXPECT_EQ(parsed("SHR").share, kShareAll);
    const OpenSpec w = parsed("N=5,NAME=x");
    ASSERT_EQ(w.window.size(), 1u) << "N= is reached after NAME=, NOSHR and NEW fail";
    EXPECT_EQ(w.window[0].first, "N=");
    EXPECT_EQ(w.window[0].second, "5");
    EXPECT_EQ(w.name, "x");
    EXPECT_EQ(parsed("NOMAXIMIZE,FONT.LABELS=Arial").window.size(), 2u);
    EXPECT_EQ(parsed("PRINTER_TYPE=laser").printerType, "laser");
    EXPECT_EQ(error("NOSHRX"), kErrOpenSyntax) << "text after a keyword without a value";
    EXPECT_EQ(error("NAMES=x"), kErrOpenSyntax) << "no keyword";
    EXPECT_EQ(error("NAME =x"), kErrOpenSyntax) << "a keyword is written whole, its = included";
    EXPECT_EQ(error("TMPIDX"), kErrOpenSyntax) << "recognised and refused";
    EXPECT_EQ(error("NAME=x,"), kErrOpenSyntax) << "an empty item";
    EXPECT_EQ(error("PRINTER=lp"), kErrOpenSyntax) << "only with OPTION 47";
    EXPECT_EQ(parsed("PRINTER=lp", true).printer, "lp");
}

TEST(OpenString, ValuesAndTheirLimits) {
    EXPECT_EQ(error("RECL=0"), kErrOpenSyntax);
    EXPECT_EQ(error("RECL=12X"), kErrOpenSyntax);
    EXPECT_EQ(error("RECL=80 9"), kErrOpenSyntax) << "text after a number";
    EXPECT_EQ(error("RECL="), kErrOpenSyntax);
    EXPECT_EQ(parsed("BUFSIZE=32000").bufSize, 32000);
    EXPECT_EQ(error("BUFSIZE=32001"), kErrOpenSyntax);
    EXPECT_EQ(error("FORMAT=SYNC"), kErrOpenSyntax);
    EXPECT_TRUE(parsed("format=async").async);
    EXPECT_EQ(error("PARITY=X"), kErrOpenSyntax);
    EXPECT_EQ(parsed("PARITY=e").parity, 'E');
    EXPECT_EQ(error("DATABITS=6"), kErrOpenSyntax);
    EXPECT_EQ(error("STOPBITS=3"), kErrOpenSyntax);
    EXPECT_EQ(error("EOL=CR"), kErrOpenSyntax);
    EXPECT_EQ(parsed("EOL=none").eol, kEolNone);
    EXPECT_EQ(error("CONV=ab"), kErrOpenSyntax);
    EXPECT_EQ(parsed("VERSION=3").version, 3);
    EXPECT_EQ(parsed("ISAM").keyType, 4);
    EXPECT_EQ(parsed("BTREE").keyType, 7);

    const std::string longest(kMaxOpenValue, 'a');
    EXPECT_EQ(parsed("NAME=" + longest).name, longest);
    EXPECT_EQ(error("NAME=" + longest + "a"), kErrSubstituteOverflow);
    EXPECT_EQ(error("KFNAME=" + longest + "a"), kErrSubstituteOverflow);
}

TEST(OpenString, KeyParts) {
    const OpenSpec k = parsed("KPS=1/10U,KLN=5/3");
    ASSERT_EQ(k.keyParts(), 2);
    EXPECT_EQ(k.keys[0].start, 1);
    EXPECT_EQ(k.keys[0].length, 5);
    EXPECT_EQ(k.keys[0].flags, 0);
    EXPECT_EQ(k.keys[1].start, 10);
    EXPECT_EQ(k.keys[1].length, 3);
    EXPECT_EQ(k.keys[1].flags, kKeyUpper);

    const OpenSpec y = parsed("KPS=20YB,KLN=6p");
    EXPECT_EQ(y.keys[0].flags, kKeyYear | kKeyBinary | kKeyPacked) << "letters of both lists join";

    const OpenSpec seven = parsed("KPS=1/2/3/4/5/6/7,KLN=1/1/1/1/1/1/1");
    EXPECT_EQ(seven.keyParts(), kMaxKeyParts) << "a seventh part is not read";
    EXPECT_EQ(seven.keys[5].start, 6);

    EXPECT_EQ(error("KPS=1/X"), kErrOpenSyntax);
    EXPECT_EQ(error("KPS=1//2"), kErrOpenSyntax);
    EXPECT_EQ(error("KLN=5Q"), kErrOpenSyntax);
    EXPECT_EQ(error("KPS=U"), kErrOpenSyntax) << "letters without a number";
}

TEST(OpenString, CreationKeywordsAndSize) {
    EXPECT_EQ(parsed("NEW").create, kCreateNew);
    EXPECT_EQ(parsed("REPLACE").create, kCreateReplace);
    EXPECT_EQ(error("NEW,REPLACE"), kErrOpenSyntax) << "two creation keywords";
    EXPECT_EQ(error("USE,USE"), kErrOpenSyntax);

    const OpenSpec s = parsed("SIZE=100");
    EXPECT_TRUE(s.sizeGiven);
    EXPECT_EQ(s.create, kCreateNew) << "SIZE= implies NEW";
    EXPECT_EQ(parsed("SIZE=100,REPLACE").create, kCreateReplace) << "unless REPLACE is given";
    EXPECT_EQ(parsed("REPLACE,SIZE=100").create, kCreateReplace);
    EXPECT_EQ(error("SIZE=100,NEW"), kErrOpenSyntax) << "NEW after SIZE=";
    EXPECT_EQ(error("SIZE=100,USE"), kErrOpenSyntax) << "USE after SIZE=";
    EXPECT_EQ(error("USE,SIZE=100"), kErrOpenSyntax);
}

}  // namespace
}  // namespace vxs
