// Crash at every write: a scenario of keyed WRITE, REWRITE changing keys and DELETE on a data
// file with two key files (SHR and NOSHR, B-tree formats 1 and 2, ISAM, a LINKED file) runs
// once to count its writes, then once for every N (a sample, unless VX_CRASH_EVERY is set) in a
// forked child that ends just before its Nth write: as a kill at that moment leaves the files
// or, with SYNC ON, as a power loss could (the writes not yet flushed kept none, all, some, or
// torn at 512-byte sectors; files made and renames not flushed forgotten).  After each, this
// process opens the files as a new copy would: the OPEN succeeds with no repair, the records are
// those of every change the child saw return and at most the one it was making, every key file
// holds exactly the keys of those records and verifies, and the files take a new record.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "tests/support/test_support.h"
#include "vxs/config/config.h"
#include "vxs/configfile/configfile.h"
#include "vxs/errors/errors.h"
#include "vxs/datafiles/datafile.h"
#include "vxs/datafiles/fcb.h"
#include "vxs/platform/faults.h"
#include "vxs/platform/platform.h"

namespace vxs {
namespace {

namespace fs = std::filesystem;
using Loss = platform::FaultPlatform::PowerLoss;

struct CrashSetup {
    const char* name;
    bool shared;
    int format;  // 1, 2: B-tree formats; 0: ISAM
    bool linked;
};

// A record: 8 bytes that a LINKED file takes for its links, key 1 (bytes 9-32), key 2 (bytes
// 33-36), then the value.
constexpr size_t kRecl = 48, kKey1 = 8, kKey2 = 32;

std::string record(const std::string& key, const std::string& second, int value) {
    char v[16];
    snprintf(v, sizeof v, "V%05d", value);
    std::string r(kKey1, '-');
    r += key;
    r.resize(kKey2, '.');
    r += second.substr(0, 4);
    r += v;
    r.resize(kRecl, ' ');
    return r;
}
// A record as it is compared: without the bytes a LINKED file uses for its links.
bool linkedRecords = false;
std::string comparable(const std::string& r) { return linkedRecords ? r.substr(kKey1) : r; }
std::string key1Of(const std::string& r) {
    std::string k = r.substr(kKey1, kKey2 - kKey1);
    return k.erase(k.find_last_not_of('.') + 1);
}

// The scenario's statements in order: WRITE of new records, REWRITE (found by key 1) changing
// key 1 and sometimes key 2, DELETE (found by key 1).
struct Op {
    enum Kind { kWrite, kRewrite, kDelete } kind;
    std::string key;    // REWRITE, DELETE: key 1 of the record
    std::string after;  // WRITE, REWRITE: the new record
};

// `acrossPages`: instead, 100 records written, then each of records 70 to 100 rewritten twice,
// keeping its keys, then changing both: one of those slots crosses a 4096-byte page.
std::vector<Op> scenario(bool acrossPages = false) {
    std::vector<Op> ops;
    if (acrossPages) {
        char k[32], s[8];
        for (int i = 1; i <= 100; ++i) {
            snprintf(k, sizeof k, "P%03d", i);
            snprintf(s, sizeof s, "B%03d", i % 4);
            ops.push_back({Op::kWrite, "", record(k, s, i)});
        }
        for (int i = 70; i <= 100; ++i) {
            snprintf(k, sizeof k, "P%03d", i);
            snprintf(s, sizeof s, "B%03d", i % 4);
            // Bytes outside the keys on both sides of where a page may fall.
            ops.push_back({Op::kRewrite, k, "++++++++" + record(k, s, 1000 + i).substr(kKey1)});
            char q[32];
            snprintf(q, sizeof q, "Q%03d", i);
            ops.push_back({Op::kRewrite, k, record(q, "C000", 2000 + i)});
        }
        return ops;
    }
    std::vector<std::string> live;
    for (int i = 0; i < 22; ++i) {
        char k[32], s[8];
        snprintf(k, sizeof k, "K%03d", (i * 7) % 22);
        snprintf(s, sizeof s, "B%03d", i % 4);
        ops.push_back({Op::kWrite, "", record(k, s, i)});
        live.push_back(k);
    }
    for (int i = 0; i < 6; ++i) {
        const std::string old = live[static_cast<size_t>(i * 3)];
        char k[32], s[8];
        snprintf(k, sizeof k, "R%03d", 40 - i);
        snprintf(s, sizeof s, "C%03d", i % 2 ? i : 0);
        ops.push_back({Op::kRewrite, old, record(k, i % 2 ? s : std::string("B000"), 100 + i)});
        live[static_cast<size_t>(i * 3)] = k;
    }
    for (int i = 0; i < 5; ++i) ops.push_back({Op::kDelete, live[static_cast<size_t>(i * 4 + 1)], ""});
    return ops;
}

// The records (as a sorted list) after the first `done` statements.
std::vector<std::string> modelAfter(const std::vector<Op>& ops, size_t done) {
    std::vector<std::string> records;
    auto find = [&](const std::string& key) {
        return std::find_if(records.begin(), records.end(),
                            [&](const std::string& r) { return key1Of(r) == key; });
    };
    for (size_t i = 0; i < done && i < ops.size(); ++i) {
        const Op& op = ops[i];
        if (op.kind == Op::kWrite) records.push_back(op.after);
        else if (op.kind == Op::kRewrite) *find(op.key) = op.after;
        else records.erase(find(op.key));
    }
    for (std::string& r : records) r = comparable(r);
    std::sort(records.begin(), records.end());
    return records;
}

class CrashTest : public ::testing::TestWithParam<CrashSetup> {
  protected:
    void SetUp() override {
        char dir[] = "/tmp/vxcrash-XXXXXX";
        ASSERT_TRUE(mkdtemp(dir));
        dir_ = dir;
        linkedRecords = GetParam().linked;
        setOption(22, GetParam().format == 2);
        setOption(5, GetParam().format == 0);
    }
    void TearDown() override {
        (void)closeFilesAtEnd(fb_, true);
        setOption(22, false);
        setOption(5, false);
        (void)processConfigStatement("SYNC OFF");
        if (getenv("VX_CRASH_KEEP") && HasFailure()) printf("kept %s\n", dir_.c_str());
        else fs::remove_all(dir_);
    }
    std::string at(const std::string& f) const { return dir_ + "/" + f; }
    std::string items(const std::string& key, const std::string& rest) const {
        const CrashSetup& s = GetParam();
        std::string t = "NAME=" + at("d.dat") + ",KFNAME=" + at(key);
        if (s.shared) t += ",SHR";
        if (s.linked) t += ",LINKED";
        return rest.empty() ? t : t + "," + rest;
    }
    int open(int number, const std::string& text, Ufcb*& u) {
        texts_[number] = text;
        OpenRequest r;
        r.number = number;
        r.text = texts_[number];
        r.type = kFileInternal;
        r.mode = kModeOutin;
        r.access = kAccessKeyed;
        return openFile(fb_, r, u);
    }
    // Reads by key (the checks without locking: they read one record through two numbers).
    static int byKey(Ufcb* u, const std::string& key, bool lock = true) {
        std::string k = key;
        if (u->ufkbfcb->keys[0].length == 24) k.resize(24, '.');
        RecordOptions o;
        if (!lock) o.lock = kLockRelease;
        return readKeyed(*u, KeyFind::kEqual, k, o);
    }
    static int put(Ufcb* u, const std::string& data, bool again) {
        const auto* p = reinterpret_cast<const uint8_t*>(data.data());
        return again ? rewriteRecord(*u, p, data.size(), 0, RecordOptions{})
                     : writeRecord(*u, p, data.size(), 0, RecordOptions{});
    }

    // The scenario in this process: each statement that returns is acknowledged on standard
    // output ("A" and its number).  Ends the process when a statement fails.
    void runScenario(const platform::FaultPlatform& faults) {
        const std::vector<Op> ops = scenario(acrossPages_);
        Ufcb *a = nullptr, *b = nullptr;
        if (open(1, items("k1.key", "RECL=48,REPLACE,KPS=9,KLN=24"), a) ||
            open(2, items("k2.key", "USE,KPS=33,KLN=4"), b))
            _exit(3);
        printf("OPEN\nHEADER %d\n", a->uffcb->headerLength);
        fflush(stdout);
        for (size_t i = 0; i < ops.size(); ++i) {
            const Op& op = ops[i];
            printf("OP %zu %d\n", i, faults.writes());
            int err = 0;
            if (op.kind == Op::kWrite) {
                err = put(a, op.after, false);
            } else {
                err = byKey(a, op.key);
                if (!err) err = op.kind == Op::kRewrite ? put(a, op.after, true)
                                                          : deleteRecord(*a, 0, RecordOptions{});
            }
            if (err) {
                printf("ERROR %d at %zu\n", err, i);
                fflush(stdout);
                _exit(4);
            }
            printf("A%zu\n", i + 1);
            fflush(stdout);
        }
        if (closeFile(fb_, b) || closeFile(fb_, a)) _exit(5);
        printf("CLOSED\n");
        fflush(stdout);
    }

    // Runs the scenario in a child that ends before its nth write (0: never), the unflushed
    // writes then left as `loss` says.  The statements it acknowledged, and its writes when it
    // ran to its end.
    size_t runChild(int nth, Loss loss, uint32_t seed, int& writes, bool& closed, bool& opened,
                    int64_t tearPage = 0) {
        const test::ChildResult r = test::runInChild([&] {
            platform::FaultPlatform faults(platform::posixPlatform());
            platform::ScopedPlatform guard(faults);
            if (loss != Loss::kOff) {
                faults.simulatePowerLoss(loss, seed);
                faults.setBootId("before-the-power-loss");
            }
            if (nth > 0) faults.exitAtWrite(nth, 77, tearPage);
            runScenario(faults);
            printf("WRITES %d\n", faults.writes());
            fflush(stdout);
            _exit(0);
        });
        size_t acked = 0;
        closed = opened = false;
        std::istringstream in(r.out);
        for (std::string line; std::getline(in, line);) {
            if (line[0] == 'A') acked = std::stoul(line.substr(1));
            if (line == "CLOSED") closed = true;
            if (line == "OPEN") opened = true;
            if (line.rfind("WRITES ", 0) == 0) writes = std::stoi(line.substr(7));
            if (line.rfind("HEADER ", 0) == 0) header_ = std::stoi(line.substr(7));
            if (line.rfind("OP ", 0) == 0) {
                const size_t space = line.find(' ', 3);
                opWrites_[std::stoul(line.substr(3, space - 3))] = std::stoi(line.substr(space + 1));
            }
            if (line.rfind("ERROR", 0) == 0) ADD_FAILURE() << "the scenario failed: " << line;
        }
        EXPECT_TRUE(r.exitStatus == 77 || r.exitStatus == 0) << r.exitStatus << " " << r.err;
        return acked;
    }

    // The checks of a new copy after the child ended with `acked` statements acknowledged.
    void checkAfter(size_t acked, bool closed, bool opened, const std::string& what) {
        SCOPED_TRACE(what);
        const std::vector<Op> ops = scenario(acrossPages_);
        Ufcb *a = nullptr, *b = nullptr;
        if (!opened) {
            // Killed while the files were being made: making them again works.
            EXPECT_EQ(acked, 0u);
            ASSERT_EQ(open(1, items("k1.key", "RECL=48,REPLACE,KPS=9,KLN=24"), a), 0) << "making #1";
            ASSERT_EQ(open(2, items("k2.key", "USE,KPS=33,KLN=4"), b), 0) << "making #2";
        } else {
            ASSERT_EQ(open(1, items("k1.key", ""), a), 0) << "opening #1";
            ASSERT_EQ(open(2, items("k2.key", ""), b), 0) << "opening #2";
        }
        // No part of a slot is left at the end of the data file (VERIFY would find it).
        std::error_code ec;
        const auto size = fs::file_size(at("d.dat"), ec);
        ASSERT_FALSE(ec);
        EXPECT_EQ((size - a->uffcb->headerLength) % (kRecl + 1), 0u) << "a torn append was left";
        // The live records, by number.
        std::map<uint32_t, std::string> byNumber;
        int64_t last = 0;
        ASSERT_EQ(lastRecordNumber(*a, last), 0);
        for (uint32_t n = 1; n <= last; ++n) {
            RecordOptions o;
            o.lock = kLockRelease;
            const int err = readRecord(*a, ReadHow::kRecord, n, o);
            if (err == kErrNoRecord) continue;
            ASSERT_EQ(err, 0) << "record " << n;
            byNumber[n] = std::string(reinterpret_cast<const char*>(a->record.data()), a->recordLength);
        }
        std::vector<std::string> records;
        for (const auto& [n, r] : byNumber) records.push_back(comparable(r));
        std::sort(records.begin(), records.end());
        const bool now = records == modelAfter(ops, acked);
        const bool next = !closed && records == modelAfter(ops, acked + 1);
        EXPECT_TRUE(now || next) << "the records are neither those of the " << acked
                                 << " changes acknowledged nor those with the next";
        // A chain of records leads through every live record, each once.
        if (GetParam().linked) {
            texts_[3] = "NAME=" + at("d.dat") + ",SHR,LINKED";
            OpenRequest r;
            r.number = 3;
            r.text = texts_[3];
            r.type = kFileInternal;
            r.mode = kModeInput;
            r.access = kAccessSequential;
            Ufcb* c = nullptr;
            ASSERT_EQ(openFile(fb_, r, c), 0);
            std::vector<std::string> chain;
            RecordOptions o;
            o.lock = kLockRelease;
            int err;
            while ((err = readRecord(*c, ReadHow::kNext, 0, o)) == 0 && chain.size() <= records.size())
                chain.push_back(comparable(std::string(reinterpret_cast<const char*>(c->record.data()),
                                                       c->recordLength)));
            EXPECT_EQ(err, kErrEndOfRecords);
            std::sort(chain.begin(), chain.end());
            EXPECT_EQ(chain, records) << "the chain";
            ASSERT_EQ(closeFile(fb_, c), 0);
        }
        // Each key file holds exactly the keys of those records, and verifies.
        for (auto [u, from, len] : {std::tuple{a, kKey1, size_t{24}}, std::tuple{b, kKey2, size_t{4}}}) {
            std::set<std::pair<std::string, uint32_t>> want, have;
            for (const auto& [n, r] : byNumber) want.insert({r.substr(from, len), n});
            KeyCursor c;
            KeyEntry e;
            int err;
            while ((err = u->ufkbfcb->index->step(c, true, e)) == 0)
                have.insert({std::string(reinterpret_cast<const char*>(e.key), len), e.record});
            EXPECT_EQ(err, kErrEndOfRecords);
            EXPECT_EQ(have, want) << "key file " << (from == kKey1 ? 1 : 2);
            EXPECT_EQ(u->ufkbfcb->index->verify(), 0);
        }
        // The files take a new record, found by both keys.
        ASSERT_EQ(put(a, record("NEW", "N001", 999), false), 0);
        EXPECT_EQ(byKey(a, "NEW", false), 0);
        EXPECT_EQ(byKey(b, "N001", false), 0);
        ASSERT_EQ(closeFile(fb_, b), 0);
        ASSERT_EQ(closeFile(fb_, a), 0);
        // No journal is left behind once every copy has closed its files.
        for (const auto& e : fs::directory_iterator(dir_))
            EXPECT_EQ(e.path().filename().string().rfind("ktjrnl", 0), std::string::npos)
                << e.path();
    }
    void clean() {
        for (const auto& e : fs::directory_iterator(dir_)) fs::remove_all(e.path());
    }
    // The Ns to try out of `total` writes: every one with VX_CRASH_EVERY, else about `most` of
    // them, spread over the run.
    static std::vector<int> sample(int total, int most) {
        std::vector<int> ns;
        const bool every = getenv("VX_CRASH_EVERY") != nullptr;
        const int step = every || total <= most ? 1 : (total + most - 1) / most;
        for (int n = 1; n <= total; n += step) ns.push_back(n);
        return ns;
    }

    FileBlocks fb_;
    std::string dir_;
    std::map<int, std::string> texts_;
    bool acrossPages_ = false;
    int header_ = 0;                    // the data file's header length, as the child saw it
    std::map<size_t, int> opWrites_;    // statement -> the writes made before it
};

TEST_P(CrashTest, KilledAtEveryWrite) {
    int total = 0;
    bool closed = false, opened = false;
    ASSERT_EQ(runChild(0, Loss::kOff, 0, total, closed, opened), scenario().size());
    ASSERT_TRUE(closed);
    ASSERT_GT(total, 50);
    for (int n : sample(total, 120)) {
        clean();
        int ignored = 0;
        const size_t acked = runChild(n, Loss::kOff, 0, ignored, closed, opened);
        checkAfter(acked, closed, opened, "killed before write " + std::to_string(n));
        if (HasFailure()) break;
    }
}

// A kill in the middle of a write that crosses a page can leave the part before the page
// written: the journal's own appends, and the one slot of the scenario's file that crosses a
// page, appended, rewritten keeping its keys and changing them.
TEST_P(CrashTest, KilledInTheMiddleOfAWriteAcrossAPage) {
    int total = 0;
    bool closed = false, opened = false;
    ASSERT_EQ(runChild(0, Loss::kOff, 0, total, closed, opened), scenario().size());
    for (int n : sample(total, 40)) {
        clean();
        int ignored = 0;
        const size_t acked = runChild(n, Loss::kOff, 0, ignored, closed, opened, 4096);
        checkAfter(acked, closed, opened, "killed in the middle of write " + std::to_string(n));
        if (HasFailure()) return;
    }
    acrossPages_ = true;
    clean();
    const std::vector<Op> ops = scenario(true);
    ASSERT_EQ(runChild(0, Loss::kOff, 0, total, closed, opened), ops.size());
    opWrites_[ops.size()] = total;
    const int64_t slot = kRecl + 1;
    int crossing = 0;  // the record whose slot crosses the page
    for (int r = 70; r <= 100 && !crossing; ++r) {
        const int64_t from = header_ + (r - 1) * slot;
        if (from / 4096 != (from + slot - 1) / 4096) crossing = r;
    }
    ASSERT_NE(crossing, 0) << "no rewritten slot crosses a page; the header is " << header_;
    // Its WRITE (an append cut short is cut off), then its two REWRITEs.
    const size_t first = 100 + 2 * static_cast<size_t>(crossing - 70);
    int tried = 0;
    for (size_t op : {static_cast<size_t>(crossing - 1), first, first + 1})
        for (int n = opWrites_[op] + 1; n <= opWrites_[op + 1]; ++n) {
            clean();
            int ignored = 0;
            const size_t acked = runChild(n, Loss::kOff, 0, ignored, closed, opened, 4096);
            checkAfter(acked, closed, opened,
                       "record " + std::to_string(crossing) + ", killed in the middle of write " +
                           std::to_string(n));
            ++tried;
            if (HasFailure()) return;
        }
    EXPECT_GE(tried, 2);
}

TEST_P(CrashTest, PowerLossAtEveryWriteWithSyncOn) {
    ASSERT_EQ(processConfigStatement("SYNC ON"), 0);
    int total = 0;
    bool closed = false, opened = false;
    ASSERT_EQ(runChild(0, Loss::kOff, 0, total, closed, opened), scenario().size());
    const Loss kinds[] = {Loss::kKeepNone, Loss::kKeepAll, Loss::kKeepSome, Loss::kTorn};
    int round = 0;
    for (int n : sample(total, 60)) {
        const Loss loss = kinds[round % 4];
        clean();
        int ignored = 0;
        const size_t acked =
            runChild(n, loss, static_cast<uint32_t>(n * 7919 + round), ignored, closed, opened);
        checkAfter(acked, closed, opened,
                   "power lost before write " + std::to_string(n) + " (mode " +
                       std::to_string(static_cast<int>(loss)) + ")");
        ++round;
        if (HasFailure()) break;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, CrashTest,
    ::testing::Values(CrashSetup{"shared_format1", true, 1, false}, CrashSetup{"alone_format1", false, 1, false},
                      CrashSetup{"shared_format2", true, 2, false}, CrashSetup{"alone_format2", false, 2, false},
                      CrashSetup{"shared_isam", true, 0, false}, CrashSetup{"alone_isam", false, 0, false},
                      CrashSetup{"shared_linked", true, 1, true}),
    [](const ::testing::TestParamInfo<CrashSetup>& i) { return std::string(i.param.name); });

}  // namespace
}  // namespace vxs
