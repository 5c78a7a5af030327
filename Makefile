# make run    build an optimised hullbench and run it in out/
# make test   build and run every test (the end-to-end ones take a whole run of the program), then
#             the fast ones again under AddressSanitizer and UndefinedBehaviorSanitizer, with a
#             short fuzzing run
# make fuzz   fuzz the hull functions, then hull-lab's point-file reader, for FUZZ_SECONDS each (default 600)
# make check  check the hull files that `make run` left in out/
# make plots  draw out/times.png and out/hulls.png from them
# make docs-pictures  a fresh run, drawn into docs/ (the guide's pictures)
# make lab    the default hull-lab (six shapes, 1,000 to 1,000,000 points, the floors, the lab's
#             own hulls and every library of the build) into out/lab.txt, out/lab.tsv, out/lab.png
#             and out/lab.html (the page: open it in a browser)
# make lab-counts     the default run counted under Valgrind (instructions, cache misses,
#                     mispredictions, estimated cycles per call): out/lab-counts.*
# make lab-exactness  the shapes line and sliver, every algorithm: out/lab-exactness.*
# make lab-large      10,000,000 points: out/lab-large.*; 10^8 for the fastest: out/lab-large-1e8.*
# make lab-hunt       a minute's hunt of each library the lab found wrong, and of d3 where node is:
#                     each kind of failure's smallest input (out/lab-hunt.txt, out/lab-hunt-failures/)
# make examples       the example plugins of examples/ into build/examples/ (hull-lab --plugin)
# make lab-plugin-cost  the example's monotone chain as a plugin beside the same code built in
# make page-libraries  the page's plotting library (and its browser test's driver) from npm, at the
#                      versions pinned in tools/page/package-lock.json
# Missing Debian packages are installed with apt-get when run as root; otherwise the command to
# install them is printed.

BUILD ?= build
SANITIZE_BUILD ?= build-sanitize
FUZZ_SECONDS ?= 600
RUN_PACKAGES := cmake g++
PLOT_PACKAGES := gnuplot-nox
SANITIZE_PACKAGES := clang libclang-rt-14-dev libgtest-dev
# clang compiles vqsort's library (GCC 12's code for Highway's sort ran 4 to 8 times slower); SQLite
# keeps the history of runs (hull-lab --history), libpq reaches a team's in PostgreSQL.
LAB_PACKAGES := libcgal-dev libboost-dev libgmp-dev libgeos-dev libopencv-imgproc-dev libqhull-dev libcli11-dev libhwy-dev libtbb-dev clang libsqlite3-dev libpq-dev
# The history's PostgreSQL test starts a server of its own from Debian's.
HISTORY_TEST_PACKAGES := postgresql
# Counts of instructions, cache misses and mispredictions (hull-lab --measure counts).
COUNT_PACKAGES := valgrind
# Student's t for tools/lab-compare and the page (tools/lab-page), from SciPy.
STATS_PACKAGES := python3-scipy
# The examples of Python callers (examples/scipy_hull.py, examples/shapely_hull.py), run by the tests where installed.
EXAMPLE_PACKAGES := python3-scipy python3-shapely
# The install test builds a plugin with pkg-config.
INSTALL_TEST_PACKAGES := pkgconf
# Google Benchmark's compare.py reads the lab's --json in a test.
EXPORT_TEST_PACKAGES := libbenchmark-tools
# The page's browser test runs Debian's Chromium.
BROWSER_PACKAGES := chromium
# The test that no function passes 80 lines reads where each ends with Universal Ctags.
STYLE_TEST_PACKAGES := universal-ctags
TEST_PACKAGES := $(RUN_PACKAGES) $(PLOT_PACKAGES) $(SANITIZE_PACKAGES) $(LAB_PACKAGES) $(COUNT_PACKAGES) $(STATS_PACKAGES) $(EXAMPLE_PACKAGES) $(INSTALL_TEST_PACKAGES) $(EXPORT_TEST_PACKAGES) $(BROWSER_PACKAGES) $(HISTORY_TEST_PACKAGES) $(STYLE_TEST_PACKAGES)
PAGE_LIBRARIES := tools/page/node_modules/.installed

.PHONY: run test test-fast fuzz check plots docs-pictures lab lab-counts lab-exactness lab-real lab-large lab-fastest-real lab-plugin-cost lab-hunt lab-hunt-real examples page-libraries build build-lab build-sanitize clean

run:
	$(call need,$(RUN_PACKAGES))
	@$(MAKE) --no-print-directory build
	mkdir -p out
	cd out && ../$(BUILD)/hullbench

test:
	$(call need,$(TEST_PACKAGES))
	@$(MAKE) --no-print-directory page-libraries build
	cd $(BUILD) && ctest --output-on-failure --parallel 2
	@$(MAKE) --no-print-directory build-sanitize
	cd $(SANITIZE_BUILD) && ctest --output-on-failure --label-exclude slow

# The tests without the slow end-to-end runs.
test-fast:
	$(call need,$(TEST_PACKAGES))
	@$(MAKE) --no-print-directory page-libraries build
	cd $(BUILD) && ctest --output-on-failure --label-exclude slow

check:
	$(call need,$(RUN_PACKAGES))
	@$(MAKE) --no-print-directory build
	$(BUILD)/hullcheck out

plots:
	$(call need,$(PLOT_PACKAGES))
	tools/plot-times out/times.txt -o out/times.png
	tools/plot-hulls out -o out/hulls.png

docs-pictures: run
	$(call need,$(PLOT_PACKAGES))
	tools/plot-times out/times.txt -o docs/times.png
	tools/plot-hulls out -o docs/hulls.png

# hull-lab exits 1 when it finds a WRONG hull (a peer's included), a refused point set or a crashed
# cell: that is a finding, named above the tables, and the picture is still drawn. Other failures
# stop here. $(call lab-run,NAME,ARGUMENTS) writes out/NAME.txt, out/NAME.tsv, out/NAME.png and
# out/NAME.html.
define lab-run
	$(call need,$(RUN_PACKAGES) $(PLOT_PACKAGES) $(LAB_PACKAGES) $(COUNT_PACKAGES) $(STATS_PACKAGES))
	@$(MAKE) --no-print-directory build-lab page-libraries
	mkdir -p out
	{ $(BUILD)/hull-lab $(2) --tsv out/$(1).tsv; echo $$? > out/$(1).status; } | tee out/$(1).txt
	@status=$$(cat out/$(1).status); \
	if [ "$$status" -gt 1 ]; then echo "make: hull-lab failed with status $$status" >&2; exit 1; fi; \
	tools/plot-lab out/$(1).tsv -o out/$(1).png && tools/lab-page out/$(1).tsv -o out/$(1).html || exit 1; \
	if [ "$$status" -eq 1 ]; then echo "make: hull-lab found a WRONG hull, a refused point set or a crashed cell (named above)"; fi
endef

lab:
	$(call lab-run,lab,)

# Counts alone, under Valgrind: six shapes, 1,000 to 100,000 points, every default entry whose
# counting the budget allows (five minutes here).
lab-counts:
	$(call lab-run,lab-counts,--measure counts)

# The two shapes that test exactness, with every algorithm of the build, and d3's polygonHull (the
# hull a web page calls: examples/d3_hull.js) where node is installed.
LAB_EXACTNESS := --shapes line,sliver --algorithms all $(if $(shell command -v node),--program 'node examples/d3_hull.js')
lab-exactness:
	$(call lab-run,lab-exactness,$(LAB_EXACTNESS))

# Every entry on the doubles of tools/real-points' files (out/real/): the inputs that break hulls on
# doubles (a bug report's 8 points, the ulp grid, decimals, huge and tiny magnitudes) and discs of
# 1,000 to 1,000,000 points, with scipy's and shapely's hulls as Python calls them and d3's as a
# page does, where installed.
REAL_SIZES := 1000,10000,100000,1000000
REAL_FILES := report ulp decimals huge tiny $(foreach n,1000 10000 100000 1000000,offset-$(n) disc-$(n))
empty :=
space := $(empty) $(empty)
comma := ,
LAB_REAL := --input $(subst $(space),$(comma),$(foreach f,$(REAL_FILES),out/real/$(f).txt)) --algorithms all --runs 3 \
  $(if $(shell /usr/bin/python3 -c 'import scipy.spatial' 2>/dev/null && echo y),--program '/usr/bin/python3 examples/scipy_hull.py') \
  $(if $(shell /usr/bin/python3 -c 'import shapely' 2>/dev/null && echo y),--program '/usr/bin/python3 examples/shapely_hull.py') \
  $(if $(shell command -v node),--program 'node examples/d3_hull.js')
lab-real:
	$(call need,$(EXAMPLE_PACKAGES))
	mkdir -p out && tools/real-points out/real --sizes $(REAL_SIZES) >/dev/null
	$(call lab-run,lab-real,$(LAB_REAL))

# 10,000,000 points on the five shapes of the default run that can make them (line and sliver are
# make lab-exactness's), after the smaller sizes that predict each cell; a cell predicted to take
# more than 10 s with its checks, or more memory than the machine has, is skipped. Then 100,000,000 points (1.6 GB a copy) on square and disc for the floors, the
# fastest entries and qhull-array, predicted from 10^6 and 10^7: out/lab-large-1e8.*
LAB_LARGE := --shapes square,disc,normal,circle,lattice --sizes 100000,1000000,10000000 --budget 10
LAB_1E8 := --shapes square,disc --sizes 1000000,10000000,100000000 --budget 60 \
  --algorithms copy,copy-2t,filter-vqsort-chain,filter-vqsort-chain-2t,qhull-array
lab-large:
	$(call lab-run,lab-large,$(LAB_LARGE))
	$(call lab-run,lab-large-1e8,$(LAB_1E8))

# The fastest exact hull on doubles against its floors, its plain form, the lab's exact array forms
# and the libraries that take doubles (gift wrapping and ch_eddy aside, the slowest): six shapes of
# doubles and huge at 10^3 and 10^6 points; then 10^6 and 10^7 for the fast entries and the floors,
# one and two threads (convex at 5 x 10^6, the most it makes).
REAL_SHAPES := square,normal,disc,kuzmin,circle,convex,huge
LAB_FASTEST_REAL := --coordinates f64 --shapes $(REAL_SHAPES) --sizes 1000,1000000 --runs 3 --budget 2 \
  --algorithms filter-vqsort-chain,filter-vqsort-chain-plain,filter-vqsort-chain-2t,copy,copy-2t,sort-keys,incremental-array,qhull-array,chan,cgal-monotone-chain,cgal-akl-toussaint,cgal-quickhull,boost-long-double-monotone-chain,geos-graham,libqhull-quickhull
FASTEST_REAL_ENTRIES := filter-vqsort-chain,filter-vqsort-chain-plain,filter-vqsort-chain-2t,copy,copy-2t,sort-keys
LAB_FASTEST_REAL_1E7 := --coordinates f64 --shapes square,normal,disc,kuzmin,circle,huge --sizes 1000000,10000000 --runs 5 \
  --algorithms $(FASTEST_REAL_ENTRIES)
LAB_FASTEST_REAL_5E6 := --coordinates f64 --shapes convex --sizes 5000000 --runs 5 --algorithms $(FASTEST_REAL_ENTRIES)
lab-fastest-real:
	$(call lab-run,lab-fastest-real,$(LAB_FASTEST_REAL))
	$(call lab-run,lab-fastest-real-1e7,$(LAB_FASTEST_REAL_1E7))
	$(call lab-run,lab-fastest-real-5e6,$(LAB_FASTEST_REAL_5E6))

# The example plugins (graham, chain, float-chain) into build/examples/, with hull-lab to run them.
examples:
	$(call need,$(RUN_PACKAGES) $(LAB_PACKAGES))
	@$(MAKE) --no-print-directory build
	@ls $(BUILD)/examples/*.so

# What a plugin costs beyond its code: examples/chain.cpp as a plugin and built into a hull-lab of
# its own (build-cost/), at 100,000 and 1,000,000 points, 7 runs each.
# The libraries are not yours: their failures are findings, and the status judges d3's program alone.
LAB_HUNT := --algorithms boost-monotone-chain,cgal-quickhull,cgal-eddy-quickhull,libqhull-quickhull --hunt 60 \
  --failures out/lab-hunt-failures
lab-hunt:
	$(call need,$(RUN_PACKAGES) $(LAB_PACKAGES))
	@$(MAKE) --no-print-directory build-lab page-libraries
	mkdir -p out
	{ if command -v node >/dev/null; then $(BUILD)/hull-lab $(LAB_HUNT) --program 'node examples/d3_hull.js'; \
	  else $(BUILD)/hull-lab $(LAB_HUNT); fi; } | tee out/lab-hunt.txt

# The same on doubles: a minute of every library's entries that take them (the exact ones too, which
# must find nothing) and the examples over d3, scipy and shapely, on the families of doubles; each
# failure of a library written as a report for its maintainers, run here first.
LAB_HUNT_REAL := --algorithms libraries --coordinates f64 --hunt 60 --failures out/lab-hunt-real-failures \
  --program '/usr/bin/python3 examples/scipy_hull.py' --program '/usr/bin/python3 examples/shapely_hull.py'
lab-hunt-real:
	$(call need,$(RUN_PACKAGES) $(LAB_PACKAGES) $(EXAMPLE_PACKAGES))
	@$(MAKE) --no-print-directory build-lab page-libraries
	mkdir -p out
	{ if command -v node >/dev/null; then $(BUILD)/hull-lab $(LAB_HUNT_REAL) --program 'node examples/d3_hull.js'; \
	  else $(BUILD)/hull-lab $(LAB_HUNT_REAL); fi; } | tee out/lab-hunt-real.txt

lab-plugin-cost:
	$(call need,$(RUN_PACKAGES) $(LAB_PACKAGES))
	cmake -S . -B build-cost -DCMAKE_BUILD_TYPE=Release -DHULL_LAB_CHAIN_BUILTIN=ON
	cmake --build build-cost --parallel 2 --target hull-lab chain
	build-cost/hull-lab --plugin build-cost/examples/libchain.so --algorithms chain-builtin \
	  --shapes square,disc,circle --sizes 100000,1000000 --runs 7 --budget 60

fuzz:
	$(call need,$(SANITIZE_PACKAGES))
	@$(MAKE) --no-print-directory build-sanitize
	mkdir -p $(SANITIZE_BUILD)/tests/corpus
	$(SANITIZE_BUILD)/tests/hull_fuzzer -max_total_time=$(FUZZ_SECONDS) -timeout=10 -print_final_stats=1 \
	  $(SANITIZE_BUILD)/tests/corpus tests/fuzz-corpus
	mkdir -p $(SANITIZE_BUILD)/tests/corpus-input
	$(SANITIZE_BUILD)/tests/input_fuzzer -max_total_time=$(FUZZ_SECONDS) -timeout=10 -max_len=4096 -print_final_stats=1 \
	  $(SANITIZE_BUILD)/tests/corpus-input tests/fuzz-corpus-input

# npm ci: exactly the versions of the lock file, again only when it changes.
page-libraries: $(PAGE_LIBRARIES)
$(PAGE_LIBRARIES): tools/page/package.json tools/page/package-lock.json
	$(call need,$(if $(shell command -v npm),,nodejs npm))
	npm ci --prefix tools/page --no-audit --no-fund
	touch $@

build:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD) --parallel 2

# hull-lab alone, for the lab's runs: a fresh clone's `make lab` does not wait for the tests' build.
build-lab:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD) --parallel 2 --target hull-lab

# The tests and the fuzz target, built by clang++ with the sanitizers.
build-sanitize:
	CC=clang CXX=clang++ cmake -S . -B $(SANITIZE_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DHULLBENCH_SANITIZE=ON -DHULLBENCH_FUZZ=ON
	cmake --build $(SANITIZE_BUILD) --parallel 2

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD) build-cost out

# $(call need,PACKAGES): installs those of the Debian PACKAGES that are missing.
define need
	@missing=""; \
	for p in $(1); do \
	  dpkg-query -W -f='$${Status}' "$$p" 2>/dev/null | grep -q 'ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  if [ "$$(id -u)" -eq 0 ]; then \
	    echo "Installing:$$missing"; \
	    apt-get update -q && DEBIAN_FRONTEND=noninteractive apt-get install -y -q $$missing; \
	  else \
	    echo "hullbench needs Debian packages that are missing; run:" >&2; \
	    echo "  sudo apt-get install -y$$missing" >&2; \
	    exit 1; \
	  fi; \
	fi
endef
