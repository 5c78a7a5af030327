// hull-lab's page: draws the run inlined above it (lab-data) with Observable Plot, one panel and one
// table per shape, and redraws when an entry is switched or the scale changes.
"use strict";

// A block of its own: the page's names stay out of the window's (only window.labPage is set).
{
  const data = JSON.parse(document.getElementById("lab-data").textContent);
  const root = document.getElementById("page");
  const baseline = data.kind === "baseline";
  const entryOf = new Map(data.entries.map((e) => [e.name, e]));
  const shapes = [...new Set(data.cells.map((c) => c.shape))];
  // Counts (--measure counts): Callgrind's per call, shown per point; the scales they give.
  const COUNT_SCALES = [["c:est_cycles", "estimated cycles per point"], ["c:instructions", "instructions per point"],
    ["c:l1_misses", "L1 data misses per point"], ["c:ll_misses", "last-level misses per point"],
    ["c:branch_misses", "branch mispredictions per point"]];
  const counted = data.cells.some((c) => c.est_cycles != null || c.count_ratio != null);
  const anyTimed = data.cells.some((c) => c.median_s > 0 || c.ratio > 0);
  const state = {visible: new Set(data.entries.map((e) => e.name)), scale: baseline ? "ratio" : anyTimed ? "ns" : "c:est_cycles", sort: {}};
  // With a baseline, the figure is the time's new / old, or the counts' where the run only counted.
  const ratioOf = (c) => (anyTimed ? c.ratio : c.count_ratio);
  // Whether a cell has the figure drawn: the lab writes a median (and a ratio) only for a cell it
  // timed, so the page takes its word for that rather than judging the status again.
  const timed = (c) => (baseline ? ratioOf(c) > 0 : state.scale.startsWith("c:") ? c[state.scale.slice(2)] != null : c.median_s > 0);

  // ---------------------------------------------------------------- numbers

  // Student's t at 97.5% for df degrees of freedom, as lab-page computed it (SciPy) for the runs here.
  function tQuantile975(df) {
    return df < 1 || df > data.t975.length ? Infinity : data.t975[df - 1];
  }

  // The 95% interval of the typical value (t on the logarithms), as the lab computes it; null under 2.
  function logInterval(values) {
    if (values.length < 2 || values.some((v) => !(v > 0))) return null;
    const logs = values.map(Math.log);
    const mean = logs.reduce((a, b) => a + b, 0) / logs.length;
    const squares = logs.reduce((a, b) => a + (b - mean) * (b - mean), 0);
    const half = tQuantile975(logs.length - 1) * Math.sqrt(squares / (logs.length - 1) / logs.length);
    return [Math.exp(mean - half), Math.exp(mean + half)];
  }

  // The median of `values` (not modified). O(k log k).
  function median(values) {
    const s = [...values].sort((a, b) => a - b);
    const m = s.length >> 1;
    return s.length % 2 ? s[m] : (s[m - 1] + s[m]) / 2;
  }

  const fmt = (v) => (v == null || !isFinite(v) ? "-" : v.toExponential(2));
  const fmtRatio = (v) => (v == null || !isFinite(v) ? "-" : v.toFixed(3));
  // "+-9%" as the lab's tables print it: the wider side, rounded up, "?" past 10%.
  const percent = (v, lo, hi) => {
    if (lo == null) return "";
    const p = 100 * Math.max(hi / v - 1, 1 - lo / v);
    return "+-" + Math.ceil(p - 1e-9) + "%" + (p > 10 ? "?" : "");
  };
  const thousands = (n) => (n == null ? "-" : n.toLocaleString("en-US"));

  // ---------------------------------------------------------------- figures in the chosen scale

  const rowKey = (c) => c.shape + "\u0000" + c.n;
  const byRow = new Map();
  for (const c of data.cells) {
    if (!byRow.has(rowKey(c))) byRow.set(rowKey(c), new Map());
    byRow.get(rowKey(c)).set(c.algorithm, c);
  }

  // The y axis' label for the chosen scale.
  function scaleLabel() {
    if (baseline) return anyTimed ? "new / old (95% interval)" : "est_cycles new / old (Callgrind)";
    if (state.scale.startsWith("c:")) return COUNT_SCALES.find(([v]) => v === state.scale)[1] + " (Callgrind)";
    if (state.scale === "ns") return "nanoseconds per point";
    if (state.scale === "s") return "seconds per call";
    return "multiple of " + state.scale.slice(2);
  }

  // The cell's figure, its interval and its runs in the chosen scale, or null where there is none
  // (not timed, or the reference entry has no figure in this row).
  function figure(c) {
    if (!timed(c)) return null;
    if (baseline && !anyTimed) return {value: c.count_ratio, lo: null, hi: null, runs: []};
    if (baseline) return {value: c.ratio, lo: c.ratio_lo || null, hi: c.ratio_hi || null, runs: pairRatios(c.new_runs_s, c.old_runs_s)};
    if (state.scale.startsWith("c:")) return {value: c[state.scale.slice(2)] / c.n, lo: null, hi: null, runs: []};
    const runs = c.runs_s || [];
    let lo = c.lo_s > 0 ? c.lo_s : null, hi = c.hi_s > 0 ? c.hi_s : null;
    if (lo == null && runs.length >= 2) [lo, hi] = logInterval(runs) || [null, null];
    if (state.scale === "s") return {value: c.median_s, lo, hi, runs};
    if (state.scale === "ns") {
      const k = 1e9 / c.n;
      return {value: c.median_s * k, lo: lo && lo * k, hi: hi && hi * k, runs: runs.map((r) => r * k)};
    }
    const ref = byRow.get(rowKey(c)).get(state.scale.slice(2));
    if (!ref || !timed(ref)) return null;
    // Paired by round, so that what the machine did in a round divides out.
    const ratios = pairRatios(runs, ref.runs_s || []);
    const interval = c === ref ? null : logInterval(ratios);
    const value = ratios.length ? median(ratios) : c.median_s / ref.median_s;
    return {value, lo: interval && interval[0], hi: interval && interval[1], runs: ratios};
  }

  // a[r] / b[r] for the rounds both have. O(rounds).
  function pairRatios(a, b) {
    const out = [];
    for (let r = 0; r < Math.min(a.length, b.length); ++r) if (b[r] > 0) out.push(a[r] / b[r]);
    return out;
  }

  // ---------------------------------------------------------------- the run's context

  // The title, the warnings and the context lines, once.
  function header() {
    const h1 = el("h1", {}, "hull-lab: " + data.file);
    const warnings = el("div", {class: "warnings"});
    const context = el("dl", {class: "context"});
    for (const [key, value] of data.context) {
      if (key === "warning") warnings.append(el("p", {class: "warning"}, "warning: " + value));
      else context.append(el("dt", {}, key), el("dd", {}, value));
    }
    const what = baseline && !anyTimed
      ? "Two builds compared by their counts: each cell's est_cycles new / old under Callgrind, one counting process each."
      : baseline
      ? "Two builds compared in one run: each cell's new / old with the 95% interval of the round-paired ratios."
      : !anyTimed
      ? "Each entry's counts per call under Callgrind, per point (the scale chooses the count). Hover a point for its cell; click a table's header to sort."
      : "Each entry's median per cell with the 95% interval of another run's figure (bars). Hover a point for its runs; click a table's header to sort.";
    root.append(h1, el("p", {class: "what"}, what), warnings, context);
  }

  // ---------------------------------------------------------------- the fastest, per shape and size

  // The row's fastest entry and fastest library as the lab marked them in the TSV (its fastest and
  // sure columns), each {cell, sure, rival}; a TSV written before them: found here. O(row).
  function leadersOf(row) {
    if (!row.some((c) => c.fastest != null)) {
      const any = fastestOf(row.filter((c) => entryOf.get(c.algorithm).group !== "the floors"));
      return {any, library: fastestOf(row.filter((c) => entryOf.get(c.algorithm).group === "the libraries"))};
    }
    const leader = (c) => c && {cell: c, sure: c.sure === "yes", rival: (c.sure || "").startsWith("no: ") ? c.sure.slice(4) : null};
    const any = row.find((c) => c.fastest === "entry");
    const library = row.find((c) => c.fastest === "library") ||
      (any && entryOf.get(any.algorithm).group === "the libraries" ? any : undefined);
    return {any: leader(any), library: leader(library)};
  }

  // " (not sure: E's interval overlaps)", or "" for a sure leader.
  const doubt = (l) => (l.sure ? "" : l.rival === "one run" ? " (one run: no interval to be sure by)" :
    " (not sure: " + (l.rival ? l.rival + "'s interval overlaps" : "intervals overlap") + ")");

  // The fastest of `cells` (timed right, a figure above 0) and whether the call is sure: every other
  // cell's interval lies above the fastest's. null for none. O(cells).
  function fastestOf(cells) {
    const right = cells.filter((c) => c.status === "ok" && c.median_s > 0);
    if (!right.length) return null;
    const best = right.reduce((a, b) => (b.median_s < a.median_s ? b : a));
    const sure = right.every((c) => c === best || (best.hi_s > 0 && c.lo_s > best.hi_s));
    return {cell: best, sure};
  }

  // "0.742 ms +-9%": seconds as people read them, with the interval's wider side.
  function human(c) {
    const s = c.median_s;
    const text = s >= 1 ? s.toPrecision(3) + " s" : s >= 1e-3 ? (s * 1e3).toPrecision(3) + " ms" : (s * 1e6).toPrecision(3) + " us";
    return text + (c.lo_s > 0 ? " " + percent(s, c.lo_s, c.hi_s) : "");
  }

  // The page's first answer: for each shape and size, the fastest entry (floors aside) and the
  // fastest library, with their figures; "not sure" where another entry's interval overlaps.
  function summary() {
    const table = el("table", {class: "summary"});
    table.append(el("tr", {}, ...["shape", "n", "fastest", "its time per call", "fastest library", "its time per call"].map((t) => el("th", {}, t))));
    for (const shape of shapes) {
      const sizes = [...new Set(data.cells.filter((c) => c.shape === shape).map((c) => c.n))].sort((a, b) => a - b);
      for (const n of sizes) {
        const {any, library} = leadersOf(data.cells.filter((c) => c.shape === shape && c.n === n));
        if (!any) continue;
        table.append(el("tr", {"data-shape": shape, "data-n": String(n)}, el("td", {}, shape), el("td", {}, thousands(n)),
          el("td", {class: "fastest"}, any.cell.algorithm), el("td", {class: "fastest-time"}, human(any.cell) + doubt(any)),
          el("td", {class: "library"}, library ? library.cell.algorithm : "-"),
          el("td", {class: "library-time"}, library ? human(library.cell) + doubt(library) : "-")));
      }
    }
    root.append(el("h2", {}, "Fastest, per shape and size"),
      el("p", {class: "what"}, "Right hulls only, floors aside. Not sure: another entry's 95% interval reaches the fastest's."), table);
  }

  // ---------------------------------------------------------------- switches

  // A box per group and per entry (each redraws every panel), and the scale, once.
  function controls() {
    const box = el("div", {class: "controls"});
    const groups = el("div", {class: "groups"});
    for (const group of data.groups) {
      const members = data.entries.filter((e) => e.group === group);
      const head = el("input", {type: "checkbox", "data-group": group, checked: ""});
      const fieldset = el("fieldset", {class: "group"}, el("legend", {}, el("label", {}, head, " " + group)));
      const boxes = [];
      for (const e of members) {
        const one = el("input", {type: "checkbox", "data-entry": e.name, checked: ""});
        boxes.push(one);
        // The entry's line as the panels draw it: its colour, width and dash pattern.
        const svg = "http://www.w3.org/2000/svg";
        const swatch = document.createElementNS(svg, "svg");
        swatch.setAttribute("class", "swatch");
        swatch.setAttribute("width", "26");
        swatch.setAttribute("height", "8");
        const stroke = document.createElementNS(svg, "line");
        for (const [k, v] of Object.entries({x1: 0, y1: 4, x2: 26, y2: 4, stroke: e.colour, "stroke-width": Math.max(1.5, e.width)})) {
          stroke.setAttribute(k, String(v));
        }
        if (e.dash) stroke.setAttribute("stroke-dasharray", e.dash);
        swatch.append(stroke);
        fieldset.append(el("label", {class: "entry"}, one, swatch, e.name));
        one.addEventListener("change", () => {
          if (one.checked) state.visible.add(e.name);
          else state.visible.delete(e.name);
          syncGroup(head, boxes);
          draw();
        });
      }
      head.addEventListener("change", () => {
        for (const one of boxes) {
          one.checked = head.checked;
          if (head.checked) state.visible.add(one.dataset.entry);
          else state.visible.delete(one.dataset.entry);
        }
        syncGroup(head, boxes);
        draw();
      });
      groups.append(fieldset);
    }
    box.append(groups);
    if (!baseline) {
      const select = el("select", {id: "scale"});
      if (anyTimed) {
        select.append(el("option", {value: "ns"}, "nanoseconds per point"), el("option", {value: "s"}, "seconds per call"));
        for (const e of data.entries) select.append(el("option", {value: "x:" + e.name}, "multiple of " + e.name));
      }
      if (counted) for (const [value, label] of COUNT_SCALES) select.append(el("option", {value}, label + " (Callgrind)"));
      select.addEventListener("change", () => {
        state.scale = select.value;
        draw();
      });
      box.append(el("label", {class: "scale"}, "Scale: ", select));
    }
    root.append(box);
  }

  // A group's box: checked when all its entries are shown, indeterminate when some are.
  function syncGroup(head, boxes) {
    const on = boxes.filter((b) => b.checked).length;
    head.checked = on === boxes.length;
    head.indeterminate = on > 0 && on < boxes.length;
  }

  // ---------------------------------------------------------------- the geometric means of two builds

  // new / old per entry and over every compared cell, with the interval of the rounds' geometric
  // means (the rounds every cell has), and the control's word, as the text report gives them.
  function means() {
    const compared = data.cells.filter((c) => timed(c) && c.verdict !== "-");
    const minChange = 0.05;
    const verdictOf = (r, lo, hi) => (lo > 1 && r >= 1 + minChange ? "slower" : hi < 1 && r <= 1 - minChange ? "faster" : "same");
    const mean = (cells) => {
      const point = Math.exp(cells.reduce((a, c) => a + Math.log(c.ratio), 0) / cells.length);
      const rounds = Math.min(...cells.map((c) => Math.min(c.new_runs_s.length, c.old_runs_s.length)));
      const byRound = [];
      for (let r = 0; r < rounds; ++r) {
        byRound.push(Math.exp(cells.reduce((a, c) => a + Math.log(c.new_runs_s[r] / c.old_runs_s[r]), 0) / cells.length));
      }
      const interval = logInterval(byRound);
      return {point, lo: interval && interval[0], hi: interval && interval[1]};
    };
    const table = el("table", {class: "means"});
    table.append(el("tr", {}, ...["", "new / old", "95% interval", "verdict", "cells"].map((t) => el("th", {}, t))));
    const line = (name, cells, note, judged = true) => {
      const m = mean(cells);
      const verdict = judged ? verdictOf(m.point, m.lo, m.hi) : "no single verdict";
      table.append(el("tr", {class: "verdict-" + verdict}, el("td", {}, name + note), el("td", {}, fmtRatio(m.point)),
        el("td", {}, m.lo == null ? "-" : fmtRatio(m.lo) + " to " + fmtRatio(m.hi)), el("td", {class: "verdict"}, verdict),
        el("td", {}, String(cells.length))));
    };
    // The lab's own means where the TSV has them ("# mean:" lines); a TSV written before them: here.
    const lab = new Map((data.means || []).map(([name, point, lo, hi, verdict, cells]) =>
      [name, {point: Number(point), lo: lo === "-" ? null : Number(lo), hi: hi === "-" ? null : Number(hi), verdict, cells: Number(cells)}]));
    const row = (name, m, verdict, cells) => table.append(el("tr", {class: "verdict-" + verdict},
      el("td", {}, name), el("td", {}, fmtRatio(m.point)),
      el("td", {}, m.lo == null ? "-" : fmtRatio(m.lo) + " to " + fmtRatio(m.hi)), el("td", {class: "verdict"}, verdict),
      el("td", {}, String(cells))));
    for (const e of data.entries) {
      const note = e.control ? " (the control)" : "";
      if (lab.size) {
        if (lab.has(e.name)) row(e.name + note, lab.get(e.name), lab.get(e.name).verdict, lab.get(e.name).cells);
        continue;
      }
      const cells = compared.filter((c) => c.algorithm === e.name);
      if (cells.length) line(e.name, cells, note);
    }
    // The mean of every cell is not a verdict on any entry: it says how the run moved as a whole.
    if (lab.has("all cells")) row("all cells together", lab.get("all cells"), "no single verdict", lab.get("all cells").cells);
    else if (compared.length && !lab.size) line("all cells together", compared, "", false);
    const counts = ["slower", "faster", "same"].map((v) => compared.filter((c) => c.verdict === v).length);
    root.append(el("h2", {}, "Geometric mean of new / old"),
      el("p", {class: "what"}, `Cells: ${counts[0]} slower, ${counts[1]} faster, ${counts[2]} the same, as the run called them ` +
        "(each at the run's strict level, given in its text output). Means: slower or faster where their 95% interval " +
        "excludes 1 and the change is 5% or more (hull-lab's default --min-change)."),
      table);
  }

  // ---------------------------------------------------------------- the panels

  const panels = [];

  // A section per shape or file: its title, plot, growth and table, filled by drawPanel.
  function panelsOnce() {
    for (const shape of shapes) {
      const section = el("section", {class: "panel", "data-shape": shape});
      const plot = el("div", {class: "plot"});
      const table = el("table", {class: "cells"});
      const growth = el("div", {class: "growth"});
      section.append(el("h2", {}, shape), plot, growth, el("div", {class: "table-box"}, table));
      root.append(section);
      panels.push({shape, section, plot, table, growth});
    }
  }

  // The hover text of a cell: entry, n, h, figure, interval, runs, status and message.
  function tipText(c, f) {
    const lines = [c.algorithm + "  (" + entryOf.get(c.algorithm).group + ")", "n " + thousands(c.n) + ", h " + thousands(c.h)];
    if (f) {
      lines.push(scaleLabel() + ": " + (baseline || state.scale.startsWith("x:") ? fmtRatio(f.value) : fmt(f.value)) +
        (f.lo == null ? "" : "  (" + fmt(f.lo) + " to " + fmt(f.hi) + ")"));
      if (f.runs && f.runs.length) lines.push("runs: " + f.runs.map(baseline || state.scale.startsWith("x:") ? fmtRatio : fmt).join(", "));
    }
    if (baseline && c.verdict) lines.push("verdict: " + c.verdict);
    lines.push("status: " + c.status + (c.note ? " (" + c.note + ")" : ""));
    return lines.join("\n");
  }

  // Draws one panel and its table from the shown entries in the chosen scale. O(cells of the shape).
  function drawPanel(p) {
    const cells = data.cells.filter((c) => c.shape === p.shape && state.visible.has(c.algorithm));
    const points = [];
    for (const c of cells) {
      const f = figure(c);
      points.push({c, f, n: c.n, y: f ? f.value : null, lo: f && f.lo, hi: f && f.hi, tip: tipText(c, f)});
    }
    const drawn = points.filter((d) => d.f);
    const ys = drawn.flatMap((d) => [d.y, d.lo, d.hi]).filter((v) => v > 0);
    const lowest = ys.length ? Math.min(...ys) : 1, highest = ys.length ? Math.max(...ys) : 10;
    const bottom = lowest / 1.6;  // cells without a figure sit on the panel's floor
    for (const d of points) if (!d.f) d.y = bottom;
    const ratioScale = baseline || state.scale.startsWith("x:");
    const marks = [];
    if (ratioScale) marks.push(Plot.ruleY([1], {stroke: "#999"}));
    marks.push(Plot.ruleX(drawn.filter((d) => d.lo > 0), {x: "n", y1: "lo", y2: "hi", stroke: (d) => entryOf.get(d.c.algorithm).colour,
      strokeOpacity: 0.55, strokeWidth: 1.5, className: "interval"}));
    for (const e of data.entries) {
      const mine = drawn.filter((d) => d.c.algorithm === e.name).sort((a, b) => a.n - b.n);
      if (!mine.length) continue;
      marks.push(Plot.line(mine, {x: "n", y: "y", stroke: e.colour, strokeWidth: e.width, strokeDasharray: e.dash || null,
        className: "entry-line", ariaDescription: e.name}));
    }
    // Each line's name at its right end, moved apart where two would overlap (12 px of the plot's height).
    const ends = [];
    for (const e of data.entries) {
      const mine = drawn.filter((d) => d.c.algorithm === e.name).sort((a, b) => a.n - b.n);
      if (mine.length) ends.push({name: e.name, n: mine[mine.length - 1].n, y: mine[mine.length - 1].y, colour: e.colour});
    }
    const floorY = failed => (failed ? bottom / 1.25 : lowest / 1.1);
    const gap = Math.log((highest * 1.1) / floorY(points.some((d) => !d.f))) * 12 / 360;
    ends.sort((a, b) => a.y - b.y);
    let previous = -Infinity;
    for (const d of ends) {
      const at = Math.max(Math.log(d.y), previous + gap);
      d.labelY = Math.exp(at);
      previous = at;
    }
    const top = Math.max(highest * 1.1, ...ends.map((d) => d.labelY * 1.05));
    marks.push(Plot.text(ends, {x: "n", y: "labelY", text: "name", fill: "colour", dx: 6, textAnchor: "start", fontSize: 10,
      className: "entry-label"}));
    marks.push(Plot.dot(drawn, {x: "n", y: "y", r: 2.5, fill: (d) => baseline ? verdictColour(anyTimed ? d.c.verdict : d.c.count_verdict) : entryOf.get(d.c.algorithm).colour}));
    marks.push(Plot.dot(drawn.filter((d) => d.c.status === "WRONG"), {x: "n", y: "y", symbol: "times", r: 8, stroke: "#d00000",
      strokeWidth: 3, className: "wrong-mark"}));
    const failed = points.filter((d) => !d.f);
    marks.push(Plot.dot(failed, {x: "n", y: "y", symbol: "triangle", r: 6, stroke: (d) => ["skipped", "not run", "ok"].includes(d.c.status) ? "#888" : "#d00000",
      strokeWidth: 2, className: "untimed-mark"}));
    marks.push(Plot.tip(points, Plot.pointer({x: "n", y: "y", title: "tip", maxRadius: 30})));
    const svg = Plot.plot({
      width: Math.min(1100, Math.max(640, root.clientWidth - 20)),
      height: 420,
      marginLeft: 70,
      marginRight: 190,
      x: {type: "log", label: "points (n)", tickFormat: "~s", grid: true},
      y: {type: "log", label: scaleLabel(), domain: [floorY(failed.length > 0), top], grid: true,
          tickFormat: state.scale === "s" ? (v) => v.toExponential(0) : ratioScale ? (v) => String(+v.toPrecision(anyTimed ? 2 : 3)) : undefined},
      marks,
    });
    p.plot.replaceChildren(svg);
    p.plot.dataset.lines = String(svg.querySelectorAll("g.entry-line").length);
    drawTable(p, points);
    if (!baseline) drawGrowth(p, cells);
  }

  // Red for slower, green for faster, grey for the same.
  function verdictColour(v) {
    return v === "slower" ? "#d00000" : v === "faster" ? "#1a9850" : "#555";
  }

  // ---------------------------------------------------------------- the tables

  // The table's columns: [header, value of a point, optional text of the value].
  function columns() {
    const ratioScale = state.scale.startsWith("x:");
    const count = (v) => (v == null ? "-" : Math.round(v).toLocaleString("en-US"));
    if (baseline && !anyTimed) {
      return [["entry", (d) => d.c.algorithm], ["group", (d) => entryOf.get(d.c.algorithm).group], ["n", (d) => d.c.n, thousands],
        ["h", (d) => d.c.h, thousands], ["new est_cycles a call", (d) => d.c.count_new, count], ["old est_cycles a call", (d) => d.c.count_old, count],
        ["counts new / old", (d) => d.c.count_ratio, (v) => (v == null ? "-" : v.toFixed(4))], ["count verdict", (d) => d.c.count_verdict],
        ["status", (d) => d.c.status], ["note", (d) => d.c.note]];
    }
    if (baseline) {
      return [["entry", (d) => d.c.algorithm], ["group", (d) => entryOf.get(d.c.algorithm).group], ["n", (d) => d.c.n, thousands],
        ["h", (d) => d.c.h, thousands], ["new median (s)", (d) => d.c.new_median_s, fmt], ["old median (s)", (d) => d.c.old_median_s, fmt],
        ["new / old", (d) => d.c.ratio, fmtRatio], ["95% interval", (d) => d.c.ratio_lo, (v, d) => v ? fmtRatio(v) + " to " + fmtRatio(d.c.ratio_hi) : "-"],
        ["verdict", (d) => d.c.verdict],
        ...(counted ? [["counts new / old", (d) => d.c.count_ratio, (v) => (v == null ? "-" : v.toFixed(4))],
          ["count verdict", (d) => d.c.count_verdict]] : []),
        ["status", (d) => d.c.status], ["note", (d) => d.c.note]];
    }
    return [["entry", (d) => d.c.algorithm], ["group", (d) => entryOf.get(d.c.algorithm).group], ["n", (d) => d.c.n, thousands],
      ["h", (d) => d.c.h, thousands], ["median (s)", (d) => (timed(d.c) ? d.c.median_s : null), fmt],
      ["+-", (d) => (d.f && d.f.lo ? Math.max(d.f.hi / d.f.value - 1, 1 - d.f.lo / d.f.value) : null), (v) => (v == null ? "" : "+-" + Math.round(100 * v) + "%")],
      [scaleLabel(), (d) => (d.f ? d.f.value : null), ratioScale ? fmtRatio : fmt],
      ["runs", (d) => (d.c.runs_s || []).length || null, (v) => (v == null ? "-" : String(v))],
      ["status", (d) => d.c.status], ["note", (d) => d.c.note]];
  }

  // The shape's table, sorted as its last clicked header says. O(rows log rows).
  function drawTable(p, points) {
    const cols = columns();
    // By the figure, fastest first, until a header is clicked.
    const sort = state.sort[p.shape] || (baseline ? null : {column: 6, direction: 1});
    const rows = [...points];
    if (sort && sort.column < cols.length) {
      const get = cols[sort.column][1];
      rows.sort((a, b) => compare(get(a), get(b)) * sort.direction);
    }
    const head = el("tr", {});
    cols.forEach(([name], i) => {
      const th = el("th", {title: "sort by " + name}, name + (sort && sort.column === i ? (sort.direction > 0 ? " \u25B2" : " \u25BC") : ""));
      th.addEventListener("click", () => {
        const now = sort;
        state.sort[p.shape] = {column: i, direction: now && now.column === i ? -now.direction : 1};
        drawPanel(p);
      });
      head.append(th);
    });
    const body = el("tbody", {});
    for (const d of rows) {
      const tr = el("tr", {class: "status-" + d.c.status.replace(/\s+/g, "-") + (baseline ? " verdict-" + d.c.verdict : "")});
      for (const [, get, show] of cols) {
        const v = get(d);
        tr.append(el("td", {}, show ? show(v, d) : v == null ? "-" : String(v)));
      }
      body.append(tr);
    }
    p.table.replaceChildren(el("thead", {}, head), body);
  }

  // Order of two table values: numbers by value, text by locale, empty last.
  function compare(a, b) {
    if (a == null || a === "") return b == null || b === "" ? 0 : 1;
    if (b == null || b === "") return -1;
    return typeof a === "number" && typeof b === "number" ? a - b : String(a).localeCompare(String(b));
  }

  // Each shown entry's growth: the lab's own fit where the TSV has it ("# growth:" lines, the
  // exponent fitted over its timed sizes); a TSV written before them: least squares of log seconds
  // on log n here, over its timed sizes (two at least).
  function drawGrowth(p, cells) {
    const lab = new Map((data.growth || []).filter((g) => g[0] === p.shape).map(([, entry, exponent, from, to]) =>
      [entry, {exponent: Number(exponent), from: Number(from), to: Number(to)}]));
    const lines = [];
    for (const e of data.entries) {
      const mine = cells.filter((c) => c.algorithm === e.name && c.status === "ok" && c.median_s > 0);
      if (lab.size) {
        const g = lab.get(e.name);
        if (g && mine.length) lines.push(`${e.name} ~ n^${g.exponent.toFixed(2)} (${thousands(g.from)} to ${thousands(g.to)})`);
        continue;
      }
      if (new Set(mine.map((c) => c.n)).size < 2) continue;
      const xs = mine.map((c) => Math.log(c.n)), ys = mine.map((c) => Math.log(c.median_s));
      const mx = xs.reduce((a, b) => a + b, 0) / xs.length, my = ys.reduce((a, b) => a + b, 0) / ys.length;
      let sxy = 0, sxx = 0;
      xs.forEach((x, i) => {
        sxy += (x - mx) * (ys[i] - my);
        sxx += (x - mx) * (x - mx);
      });
      const ns = mine.map((c) => c.n);
      lines.push(`${e.name} ~ n^${(sxy / sxx).toFixed(2)} (${thousands(Math.min(...ns))} to ${thousands(Math.max(...ns))})`);
    }
    p.growth.replaceChildren(el("p", {class: "growth-title"}, "Growth (least squares of log time on log n):"),
      lines.length ? el("ul", {}, ...lines.map((l) => el("li", {}, l))) : el("p", {}, "none: no entry shown was timed at two sizes"));
  }

  // ---------------------------------------------------------------- the page

  // A DOM element with attributes and children (text or nodes).
  function el(tag, attributes, ...children) {
    const node = document.createElement(tag);
    for (const [k, v] of Object.entries(attributes)) node.setAttribute(k, v);
    for (const child of children) node.append(child);
    return node;
  }

  // Every panel again, timed into window.labPage.drawMs (the browser test reports it).
  function draw() {
    const start = performance.now();
    for (const p of panels) drawPanel(p);
    window.labPage.drawMs = performance.now() - start;
    window.labPage.draws += 1;
  }

  window.labPage = {drawMs: null, draws: 0, firstDrawMs: null};
  header();
  if (!baseline && anyTimed) summary();
  controls();
  if (baseline && anyTimed) means();
  panelsOnce();
  draw();
  window.labPage.firstDrawMs = window.labPage.drawMs;
  document.body.dataset.drawn = "yes";
}
