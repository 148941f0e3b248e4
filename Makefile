# Thin front door; CMake does the building.  `make run` and `make test` are what README.md promises.
JOBS      ?= $(shell nproc)
MAKEFLAGS += --no-print-directory
WX        := $(CURDIR)/build/deps/wx
WXCONFIG  := $(WX)/bin/wx-config
RELEASE   := build
TESTBUILD := build/test
FUZZBUILD := build/fuzzing

.PHONY: all deps testdeps build run test fuzz format bench stress clean install
all: build

# deps: what building needs; testdeps adds what the tests, the fuzz targets and formatting need.
deps:
	@scripts/deps.sh
	@scripts/wxbase.sh $(WX)

testdeps:
	@scripts/deps.sh --test
	@scripts/wxbase.sh $(WX)

build: deps
	@cmake -S . -B $(RELEASE) -DCMAKE_BUILD_TYPE=Release -DVX_STATIC=ON -DVX_TESTS=OFF \
	  -DVX_WX_CONFIG=$(WXCONFIG) > /dev/null
	@cmake --build $(RELEASE) -j $(JOBS) --target veltrix veltrix-lsp

run: build
	@$(RELEASE)/veltrix $(ARGS)

# make install [PREFIX=/usr/local] [DESTDIR=staging]: PREFIX/lib/veltrix/{veltrix,veltrix-lsp,
# vxconfig.sys}, PREFIX/bin/veltrix and veltrix-lsp (links), PREFIX/share/man/man1/veltrix.1.
PREFIX ?= /usr/local
install: build
	@cmake -S . -B $(RELEASE) -DCMAKE_INSTALL_PREFIX=$(PREFIX) > /dev/null
	@DESTDIR=$(DESTDIR) cmake --install $(RELEASE) --prefix $(PREFIX)

test: testdeps
	@cmake -S . -B $(TESTBUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVX_SANITIZE=ON \
	  -DVX_WX_CONFIG=$(WXCONFIG) > /dev/null
	@cmake --build $(TESTBUILD) -j $(JOBS)
	@cd $(TESTBUILD) && ctest --output-on-failure -j $(JOBS)

fuzz: testdeps
	@CXX=clang++ cmake -S . -B $(FUZZBUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVX_FUZZ=ON \
	  -DVX_WX_CONFIG=$(WXCONFIG) > /dev/null
	@cmake --build $(FUZZBUILD) -j $(JOBS)
	@echo "fuzz targets are in $(FUZZBUILD)/fuzz/"

# The stress scenarios at full size on the release executable (tests/stress/).
stress: build
	@tests/stress/run.sh $(RELEASE)/veltrix

BENCHBUILD := build/bench

bench: build
	@scripts/deps.sh --test bwbasic libsqlite3-dev gnucobol3
	@bench/startup/run.sh $(RELEASE)/veltrix
	@bench/lsp/run.sh $(RELEASE)/veltrix-lsp
	@bench/window/run.sh $(RELEASE)/veltrix
	@cmake -S . -B $(BENCHBUILD) -DCMAKE_BUILD_TYPE=Release -DVX_TESTS=OFF -DVX_BENCH=ON \
	  -DVX_WX_CONFIG=$(WXCONFIG) > /dev/null
	@cmake --build $(BENCHBUILD) -j $(JOBS) --target compile_bench
	@$(BENCHBUILD)/bench/compile_bench
	@scripts/deps.sh --test python3 brandy yabasic lua5.4
	@bench/programs/run.sh $(RELEASE)/veltrix
	@$(MAKE) $(BENCHBUILD)/sqlite_bench $(BENCHBUILD)/cobol_bench $(BENCHBUILD)/sqlite_index \
	  $(BENCHBUILD)/sqlite_update
	@bench/files/run.sh $(BENCHBUILD) $(RELEASE)/veltrix
	@bench/utilities/run.sh $(BENCHBUILD) $(RELEASE)/veltrix
	@bench/updates/run.sh $(BENCHBUILD) $(RELEASE)/veltrix

# The peers of the data-file benchmark, built after scripts/deps.sh has installed their packages.
$(BENCHBUILD)/sqlite_bench: bench/files/sqlite_bench.c
	@mkdir -p $(@D)
	@cc -O2 -Wall -o $@ $< -lsqlite3

$(BENCHBUILD)/sqlite_index: bench/utilities/sqlite_index.c
	@mkdir -p $(@D)
	@cc -O2 -Wall -o $@ $< -lsqlite3

$(BENCHBUILD)/sqlite_update: bench/updates/sqlite_update.c
	@mkdir -p $(@D)
	@cc -O2 -Wall -o $@ $< -lsqlite3

$(BENCHBUILD)/cobol_bench: bench/files/cobol_bench.cob
	@mkdir -p $(@D)
	@cobc -x -O2 -o $@ $<

format:
	@find vxs tests fuzz bench -name '*.cpp' -o -name '*.h' | xargs clang-format -i

clean:
	@rm -rf $(RELEASE)/CMakeFiles $(RELEASE)/veltrix $(TESTBUILD) $(FUZZBUILD)
