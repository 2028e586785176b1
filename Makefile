# Entry points of the README. Both set everything up first (packages, configure, build).
.PHONY: run test build bench clean

build:
	bash scripts/setup

run: build
	./build/bin/m470 $(ARGS)

test: build
	cd build && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2

bench: build
	for b in build/bin/bench_*; do $$b; done

clean:
	rm -rf build
