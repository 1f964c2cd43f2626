# Thin driver over the CMake presets. `make demo` and `make test` do all set-up on a fresh machine.
.PHONY: setup demo dist test test-native test-asan test-tsan test-linux32 test-win32 test-win64 fuzz

setup:
	bash tools/setup/install-packages.sh

# The main job: the bundled example through its camera, frame by frame and as an animation, into out/.
demo: setup
	cmake --preset release
	cmake --build --preset release
	./build/release/bin/ostrevin-render

# The release a user installs: both Windows modules in Release, packed with an install note into
# dist/Ostrevin-<version>-windows.zip, which is then opened and checked.
dist: setup
	cmake --preset win32-release
	cmake --build --preset win32-release
	cmake --preset win64-release
	cmake --build --preset win64-release

test: setup
	$(MAKE) $(PRESET_TESTS) fuzz

# Configure, build and run the suite of one preset: dev (native), asan (address and undefined
# behaviour), tsan (threads), linux32, and win32 and win64 (the Windows builds, their tests run
# under 32- and 64-bit Wine).
PRESET_TESTS := test-native test-asan test-tsan test-linux32 test-win32 test-win64
test-native: PRESET = dev
test-asan: PRESET = asan
test-tsan: PRESET = tsan
test-linux32: PRESET = linux32
test-win32: PRESET = win32
test-win64: PRESET = win64
$(PRESET_TESTS):
	cmake --preset $(PRESET)
	cmake --build --preset $(PRESET)
	ctest --preset $(PRESET)

# libFuzzer with clang: each load target for FUZZ_SECONDS (30 by default), in build/fuzz.
fuzz:
	bash fuzz/run.sh

# Benchmarks of the inside test against the plain scan, Embree and CGAL, in build/bench; not part
# of `make test`. Options through BENCH_ARGS, e.g. make bench BENCH_ARGS="--quick --cpu-time".
.PHONY: bench
bench: setup
	cmake -S . -B build/bench -G Ninja -DOSTREVIN_BENCH=ON -DCMAKE_BUILD_TYPE=Release
	cmake --build build/bench -j2 --target ostrevin-bench
	./build/bench/bin/ostrevin-bench $(BENCH_ARGS)
