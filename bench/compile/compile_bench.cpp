// Compile benchmark: lines compiled per second while a generated 5,000-line program is entered
// line by line, as LOAD of a source file and typing do.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "vxs/compiler/command2.h"
#include "vxs/compiler/vxexe.h"
#include "vxs/interpreter/run.h"

namespace {

std::vector<std::string> program() {
    static const char* const kinds[] = {
        "X{0} = A{1} * {0} + B{1} / 3 - C{1} ** 2",
        "IF X{0} > {1} AND Y{1} < 100 THEN GOTO {2} ELSE PRINT \"NO\"; X{0}",
        "PRINT \"ITEM\"; I{1}, A$(1:{1}) & B$; TAB(20); Z{0}",
        "READ #1, USING 900, KEY=K$: A$, B, C EOF {2}, NOKEY {2}",
        "FOR I{1} = 1 TO {0} STEP 2 \\ S = S + I{1} \\ NEXT I{1}",
        "A$ = UPRC$(TRIM$(B$)) & STR$(ROUND(X{0}, 2)) ! remark {0}",
        "ON X{1} GOSUB {2}, {2}, {2} NONE {2}",
        "DIM T{0}({1}), U{0}$(5)*30",
    };
    std::vector<std::string> lines;
    for (int n = 1; n <= 5000; ++n) {
        std::string t = kinds[n % 8];
        const std::string a = std::to_string(n), b = std::to_string(n % 97),
                          c = std::to_string(((n + 50) % 5000 + 1) * 10);
        for (size_t p; (p = t.find("{0}")) != std::string::npos;) t.replace(p, 3, a);
        for (size_t p; (p = t.find("{1}")) != std::string::npos;) t.replace(p, 3, b);
        for (size_t p; (p = t.find("{2}")) != std::string::npos;) t.replace(p, 3, c);
        lines.push_back(std::to_string(n * 10) + " " + t);
    }
    return lines;
}

void BM_EnterProgram(benchmark::State& state) {
    const std::vector<std::string> lines = program();
    for (auto _ : state) {
        vxs::pcb* pc = nullptr;
        if (vxs::createPCB(6000, 200, "BENCH", &pc)) state.SkipWithError("no program");
        for (const std::string& l : lines)
            if (vxs::enterLine(*pc, l, {})) state.SkipWithError(l.c_str());
        vxs::resolveProgram(*pc);
        vxs::freeAllPCBs();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(lines.size()));
    state.SetLabel("items/s = lines compiled per second");
}
BENCHMARK(BM_EnterProgram)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
