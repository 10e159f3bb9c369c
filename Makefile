# The two commands a newcomer needs: `make run` and `make test`.
# Both install what is missing (Debian packages, when run as root), build, and go.

BUILD       ?= build
BUILD_ASAN  ?= build-asan
BUILD_FUZZ  ?= build-fuzz
# How long `make fuzz` runs each fuzz program, and how long `make test` does.
FUZZ_SECONDS      ?= 60
FUZZ_TEST_SECONDS ?= 4
JOBS        ?= $(shell nproc)
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo

.PHONY: run test test-sqlite test-asan bench package install deps configure build clean format

deps:
	@scripts/install-deps.sh

# clang and its fuzzing runtime, for the fuzz programs' build of their own.
fuzz-deps:
	@scripts/install-deps.sh fuzz

$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS)

build: $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/app/tesrhost $(ARGS)

# Every test, on SQLite and on a throwaway PostgreSQL cluster, the window tests again on a
# throwaway X desktop (both started and removed by the script), then each fuzz program for a
# few seconds.
test: build fuzz-deps
	scripts/run-tests.sh $(BUILD)
	FUZZ_BUILD=$(BUILD_FUZZ) scripts/fuzz.sh $(FUZZ_TEST_SECONDS)

# Each fuzz program for FUZZ_SECONDS, in the clang build folder BUILD_FUZZ.
fuzz: fuzz-deps
	FUZZ_BUILD=$(BUILD_FUZZ) scripts/fuzz.sh $(FUZZ_SECONDS)

# The SQLite half only, offscreen: no PostgreSQL server, no X desktop needed.
test-sqlite: build
	QT_QPA_PLATFORM=offscreen ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS) --timeout 600 -LE 'postgresql|desktop'

test-asan: deps
	cmake -S . -B $(BUILD_ASAN) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTESR_SANITIZE=ON -DTESR_BENCHMARKS=OFF
	cmake --build $(BUILD_ASAN) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 scripts/run-tests.sh $(BUILD_ASAN)

bench: build
	scripts/run-benchmarks.sh $(BUILD)

# The Debian package of the host and the module: $(BUILD)/tesrpay5_5.0.0_amd64.deb.
package: build
	cmake --build $(BUILD) --target package

# Installs the host and the module under PREFIX (default /usr/local).
install: build
	cmake --install $(BUILD) --prefix $(or $(PREFIX),/usr/local)

format:
	find src app tests bench fuzz -name '*.cpp' -o -name '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(BUILD_ASAN) $(BUILD_FUZZ)
