# make run    build an optimised hullbench and run it in out/
# make test   build and run every test (the end-to-end ones take a whole run of the program)
# make check  check the hull files that `make run` left in out/
# make plots  draw out/times.png and out/hulls.png from them
# make docs-pictures  a fresh run, drawn into docs/ (the README's pictures)
# Missing Debian packages are installed with apt-get when run as root; otherwise the command to
# install them is printed.

BUILD ?= build
RUN_PACKAGES := cmake g++
PLOT_PACKAGES := gnuplot-nox
TEST_PACKAGES := $(RUN_PACKAGES) $(PLOT_PACKAGES) libgtest-dev

.PHONY: run test test-fast check plots docs-pictures build clean

run:
	$(call need,$(RUN_PACKAGES))
	@$(MAKE) --no-print-directory build
	mkdir -p out
	cd out && ../$(BUILD)/hullbench

test:
	$(call need,$(TEST_PACKAGES))
	@$(MAKE) --no-print-directory build
	cd $(BUILD) && ctest --output-on-failure --parallel 2

# The tests without the slow end-to-end runs.
test-fast:
	$(call need,$(TEST_PACKAGES))
	@$(MAKE) --no-print-directory build
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

build:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD) --parallel 2

clean:
	rm -rf $(BUILD) out

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
