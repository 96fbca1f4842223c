# Front door: `make run` and `make test` install what is missing, build and go.
BUILD      ?= build
BENCH_DIR  ?= build-bench
FUZZ_DIR   ?= build-fuzz
FUZZ_TIME  ?= 60
FUZZ_JSON_TIME ?= $(FUZZ_TIME)
ASAN_DIR   ?= build-asan
JOBS       ?= $(shell nproc)
DATA       ?= ./meru.mer
PREFIX     ?= /usr/local
CMAKE_GEN  := -G Ninja
WERROR     := $(if $(CI),ON,OFF)
# ccache hits across checkouts of the same tree (worktrees, CI's fresh clone)
export CCACHE_BASEDIR := $(CURDIR)

.PHONY: all deps build run test bench fuzz clean

all: build

deps:
	@bash scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMERU_WERROR=$(WERROR) \
	    -DMERU_BUILD_GUI=ON -DMERU_BUILD_TESTS=ON -DMERU_BUILD_BENCH=OFF -DMERU_BUILD_FUZZ=OFF
	cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/src/app/meru $(DATA)

test: build
	ASAN_DIR=$(ASAN_DIR) bash scripts/run-tests.sh $(BUILD)

bench: deps
	cmake -S . -B $(BENCH_DIR) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DMERU_BUILD_BENCH=ON -DMERU_BUILD_TESTS=OFF
	cmake --build $(BENCH_DIR) -j $(JOBS)
	bash bench/run-all.sh $(BENCH_DIR)

fuzz: deps
	CXX=clang++ cmake -S . -B $(FUZZ_DIR) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DMERU_BUILD_FUZZ=ON -DMERU_BUILD_GUI=OFF -DMERU_BUILD_TESTS=ON
	cmake --build $(FUZZ_DIR) -j $(JOBS)
	bash fuzz/run.sh $(FUZZ_DIR) $(FUZZ_TIME) datafile
	bash fuzz/run.sh $(FUZZ_DIR) $(FUZZ_JSON_TIME) datajson

clean:
	rm -rf $(BUILD) $(BENCH_DIR) $(FUZZ_DIR) $(ASAN_DIR)

# A Debian package of the build folder's binaries (build/meru_*.deb), and an
# install without a package: make install PREFIX=/some/folder (DESTDIR works too).
.PHONY: package install
package: build
	cd $(BUILD) && cpack -G DEB

install: build
	DESTDIR=$(DESTDIR) cmake --install $(BUILD) --prefix $(PREFIX)
