# Thin driver over the CMake presets. `make demo` and `make test` do all set-up on a fresh machine.
.PHONY: setup demo test test-native test-asan test-tsan test-linux32 test-win32 info fuzz

setup:
	bash tools/setup/install-packages.sh

# The main job: render the bundled example scene through the module into out/.
demo: setup
	cmake --preset release
	cmake --build --preset release
	./build/release/bin/ostrevin-render

test: setup
	$(MAKE) test-native test-asan test-tsan test-linux32 test-win32 fuzz

test-native:
	cmake --preset dev
	cmake --build --preset dev
	ctest --preset dev

test-asan:
	cmake --preset asan
	cmake --build --preset asan
	ctest --preset asan

test-tsan:
	cmake --preset tsan
	cmake --build --preset tsan
	ctest --preset tsan

test-linux32:
	cmake --preset linux32
	cmake --build --preset linux32
	ctest --preset linux32

# The Windows build, its tests run under Wine.
test-win32:
	cmake --preset win32
	cmake --build --preset win32
	ctest --preset win32

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
