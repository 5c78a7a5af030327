// hull-lab's history page: draws the series inlined above it (history-data, written by
// `hull-lab history show --json`) with Observable Plot: a panel per cell, nanoseconds per point
// across the runs in order with each run's interval as a band, a line per machine; the steps found
// marked and labelled with their commit and what moved them; changes of compiler or libraries
// marked; below, the counts' series where the runs counted. A run whose hull failed (WRONG, refused,
// crashed, stopped) is marked with its status above its place, and a change of status is a step of
// its own.
"use strict";

{
  const data = JSON.parse(document.getElementById("history-data").textContent);
  const root = document.getElementById("page");
  const short = (commit) => commit.slice(0, 12);
  const el = (tag, props = {}, ...children) => {
    const node = Object.assign(document.createElement(tag), props);
    for (const c of children) node.append(c);
    return node;
  };

  // The places where the build changed between neighbouring runs: compiler or libraries.
  function buildChanges(points) {
    const changes = [];
    for (let i = 1; i < points.length; ++i) {
      for (const what of ["compiler", "libraries"]) {
        const [a, b] = [points[i - 1][what], points[i][what]];
        if (a && b && a !== b) changes.push({i, what, label: `${what}: ${b.length > 40 ? b.slice(0, 40) + "..." : b}`});
      }
    }
    return changes;
  }

  // A step's place: between the last run of its earlier commit and the first of its commit.
  function stepPlace(points, step) {
    for (let i = 1; i < points.length; ++i) {
      if (points[i].commit === step.commit && points[i - 1].commit === step.before) return i - 0.5;
    }
    return null;
  }

  function panel(cell) {
    const points = cell.points.map((p, i) => ({...p, i, ns: p.median ? (1e9 * p.median) / cell.n : null,
      lo: p.lo ? (1e9 * p.lo) / cell.n : null, hi: p.hi ? (1e9 * p.hi) / cell.n : null}));
    const timed = points.filter((p) => p.ns != null);
    const counted = points.filter((p) => p.instructions != null);
    const steps = cell.steps.map((s) => ({...s, x: stepPlace(points, s)})).filter((s) => s.x != null);
    const statusSteps = steps.filter((s) => s.kind === "status");
    const failed = points.filter((p) => p.status && p.status !== "ok" && p.status !== "skipped");
    const changes = buildChanges(points);
    const ticks = points.map((p) => p.i);
    // A run's commit, and its label or date: runs of one commit tell apart.
    const tickFormat = (i) => `${points[i].commit.slice(0, 8)} ${points[i].label || (points[i].date || "").slice(0, 16)}`;
    const stepLabel = (s) => s.kind === "status" ? `${short(s.commit)} ${s.status === "ok" ? "right again" : "became " + s.status}`
      : `${short(s.commit)} ${s.ratio > 1 ? "+" : ""}${(100 * (s.ratio - 1)).toFixed(1)}%`;
    const box = el("section", {className: "history-panel"});
    box.dataset.cell = `${cell.algorithm} ${cell.shape} ${cell.n}`;
    box.append(el("h2", {}, `${cell.algorithm}, ${cell.shape}, ${cell.n.toLocaleString("en-US")} points`));
    const marks = (y, stepsOf, markFailed) => [
      Plot.ruleX(changes, {x: (c) => c.i - 0.5, stroke: "#888", strokeDasharray: "4,3", className: "build-change"}),
      Plot.text(changes, {x: (c) => c.i - 0.5, frameAnchor: "bottom", dy: -4, text: "label", fill: "#555", fontSize: 10,
        textAnchor: "start", dx: 3}),
      Plot.ruleX(stepsOf, {x: "x", stroke: "#c0392b", strokeWidth: 2, className: "step"}),
      // Each step's commit and change at its rule; what moved it is listed under the panel.
      Plot.text(stepsOf, {x: "x", frameAnchor: "top", dy: 6, dx: 3, textAnchor: "start", fill: "#c0392b",
        fontSize: 11, text: stepLabel}),
      // Each failed run's status over its place (once a panel: on its first plot).
      Plot.text(markFailed ? failed : [], {x: "i", frameAnchor: "top", dy: 22, fill: "#c0392b", fontWeight: "bold", fontSize: 11,
        text: "status", className: "failed", title: (p) => `${short(p.commit)}: ${p.status}`}),
      y,
    ];
    if (timed.length > 0) {
      const timeSteps = steps.filter((s) => s.kind === "times").concat(statusSteps);
      box.append(el("p", {className: "what"}, "nanoseconds per point, each run's median with its 95% interval; a line per machine" +
        (failed.length ? `; ${failed.length} run${failed.length > 1 ? "s" : ""} FAILED, marked` : "") +
        (timeSteps.length ? `; ${timeSteps.length} step${timeSteps.length > 1 ? "s" : ""}` : "")));
      box.append(Plot.plot({
        width: 1100, height: 320, marginLeft: 60, marginBottom: 80,
        x: {label: "commit", ticks, tickFormat, tickRotate: -30, domain: [-0.5, Math.max(points.length - 0.5, 0.5)]},
        y: {label: "ns per point", grid: true, zero: false},
        color: {legend: true},
        marks: marks(Plot.areaY(timed.filter((p) => p.lo != null), {x: "i", y1: "lo", y2: "hi", z: "machine", fill: "machine",
          fillOpacity: 0.18, className: "interval"}), timeSteps, true).concat([
          Plot.lineY(timed, {x: "i", y: "ns", z: "machine", stroke: "machine", className: "median"}),
          Plot.dot(timed, {x: "i", y: "ns", fill: "machine", r: 3,
            title: (p) => `${short(p.commit)} ${p.date} on ${p.machine}: ${p.ns.toFixed(3)} ns per point` +
              (p.copy ? `, ${(p.median / p.copy).toFixed(2)} x copy` : "")}),
        ]),
      }));
    }
    if (counted.length > 0) {
      const countSteps = steps.filter((s) => s.kind === "counts").concat(timed.length > 0 ? [] : statusSteps);
      box.append(el("p", {className: "what"}, "instructions per point (Callgrind; every machine with the same simulated caches)" +
        (countSteps.length ? `; ${countSteps.length} step${countSteps.length > 1 ? "s" : ""} in counts` : "")));
      box.append(Plot.plot({
        width: 1100, height: 260, marginLeft: 60, marginBottom: 80,
        x: {label: "commit", ticks, tickFormat, tickRotate: -30, domain: [-0.5, Math.max(points.length - 0.5, 0.5)]},
        y: {label: "instructions per point", grid: true, zero: false},
        marks: marks(Plot.lineY(counted, {x: "i", y: (p) => p.instructions / cell.n, stroke: "#333", className: "counts"}), countSteps, timed.length === 0)
          .concat([Plot.dot(counted, {x: "i", y: (p) => p.instructions / cell.n, fill: "#333", r: 2.5})]),
      }));
    }
    const list = el("ul", {className: "steps"});
    for (const s of cell.steps) {
      list.append(el("li", {}, s.kind === "status"
        ? `status: ${s.status === "ok" ? "right again" : "became " + s.status} at ${short(s.commit)} (after ${short(s.before)})${s.why ? ": " + s.why : ""}`
        : `${s.kind}${s.machine ? " on " + s.machine : ""}: ${(s.ratio).toFixed(3)}x at ${short(s.commit)} (after ${short(s.before)}): ${s.why}`));
    }
    if (cell.steps.length) box.append(list);
    return box;
  }

  root.append(el("h1", {}, "hull-lab: the history"));
  const machines = data.machines.filter((m) => m.key !== "");  // "": a commit that did not build ran nowhere
  root.append(el("p", {className: "what"}, `${data.cells.length} cell${data.cells.length === 1 ? "" : "s"}; runs in the order of ` +
    `the ${data.order}; machines: ` + machines.map((m) => `${m.name} ${m.key}`).join("; ")));
  for (const cell of data.cells) root.append(panel(cell));
  document.body.dataset.drawn = "yes";
}
