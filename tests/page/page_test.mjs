// The lab's pages in headless Chromium (Debian's), driven by playwright-core: each case opens a page
// written by tools/lab-page and checks what a reader would see against the TSV it was made from.
// usage: node page_test.mjs SOURCE_DIR WORK_DIR   (WORK_DIR holds run, baseline, old and large .tsv/.html)
import fs from "node:fs";
import path from "node:path";
import { createRequire } from "node:module";

const [source, work] = process.argv.slice(2);
const require = createRequire(path.join(source, "tools", "page", "package.json"));
const { chromium } = require("playwright-core");
const CHROMIUM = process.env.CHROMIUM || "/usr/bin/chromium";

// ---------------------------------------------------------------- what the TSV says

function readTsv(name) {
  const lines = fs.readFileSync(path.join(work, name + ".tsv"), "utf8").split("\n").filter((l) => l && !l.startsWith("#"));
  const header = lines[0].split("\t");
  return lines.slice(1).map((l) => Object.fromEntries(l.split("\t").map((v, i) => [header[i], v])));
}
const timed = (c) => (c.status === "ok" || c.status === "WRONG") && (c.median_s ?? c.ratio) !== "-";
const shapesOf = (cells) => [...new Set(cells.map((c) => c.shape))];
const linesOf = (cells, shape, hidden = new Set()) =>
  new Set(cells.filter((c) => c.shape === shape && timed(c) && !hidden.has(c.algorithm)).map((c) => c.algorithm)).size;

// ---------------------------------------------------------------- what the page shows

async function open(browser, name) {
  const page = await browser.newPage({ viewport: { width: 1280, height: 900 } });
  const problems = [];
  page.on("console", (m) => { if (m.type() === "error" || m.type() === "warning") problems.push(`console ${m.type()}: ${m.text()}`); });
  page.on("pageerror", (e) => problems.push(`page error: ${e.message}`));
  page.on("request", (r) => { if (!r.url().startsWith("file:")) problems.push(`network request: ${r.url()}`); });
  await page.goto("file://" + path.join(work, name + ".html"));
  await page.waitForSelector("body[data-drawn]", { timeout: 30000 });
  return { page, problems };
}
const panelLines = (page) => page.$$eval(".panel", (ps) => ps.map((p) => [p.dataset.shape, p.querySelectorAll("g.entry-line").length]));
const drawnEntries = (page, shape) =>
  page.$$eval(`.panel[data-shape="${shape}"] g.entry-line`, (gs) => gs.map((g) => g.getAttribute("aria-description")));
const yLabel = (page) => page.$eval(".panel svg", (s) => [...s.querySelectorAll("text")].map((t) => t.textContent).find((t) => t.startsWith("\u2191")) || "");
const yTicks = (page) => page.$eval(".panel svg", (s) => [...s.querySelectorAll('g[aria-label="y-axis tick label"] text')].map((t) => t.textContent).join(" "));

// ---------------------------------------------------------------- the cases

const failures = [];
function expect(ok, what) {
  if (!ok) failures.push(what);
  console.log(`${ok ? "ok  " : "FAIL"} ${what}`);
}

const cases = [
  ["run: one panel per shape, a line per timed entry", "run", async (page, cells) => {
    const shown = await panelLines(page);
    expect(JSON.stringify(shown.map((p) => p[0])) === JSON.stringify(shapesOf(cells)), `run: panels ${JSON.stringify(shown.map((p) => p[0]))}, shapes of the TSV ${JSON.stringify(shapesOf(cells))}`);
    for (const [shape, lines] of shown) expect(lines === linesOf(cells, shape) && lines > 0, `run: ${shape} draws ${lines} lines, the TSV has ${linesOf(cells, shape)} timed entries`);
  }],
  ["run: a group switch takes its entries off and puts them back", "run", async (page, cells) => {
    const group = "the program's list forms";
    const members = ["incremental"];
    const shape = shapesOf(cells)[0];
    await page.click(`input[data-group="${group}"]`);
    let drawn = await drawnEntries(page, shape);
    expect(drawn.length === linesOf(cells, shape, new Set(members)) && !drawn.includes("incremental"), `run: off "${group}": ${shape} draws ${drawn.join(",")}`);
    await page.click(`input[data-group="${group}"]`);
    drawn = await drawnEntries(page, shape);
    expect(drawn.length === linesOf(cells, shape) && drawn.includes("incremental"), `run: on "${group}" again: ${shape} draws ${drawn.join(",")}`);
  }],
  ["run: one entry's switch takes its line off, and the group shows it", "run", async (page, cells) => {
    const shape = shapesOf(cells)[0];
    await page.click('input[data-entry="chan"]');
    const drawn = await drawnEntries(page, shape);
    const mixed = await page.$eval(`input[data-group="the lab's own"]`, (b) => !b.checked);
    const rows = await page.$$eval(`.panel[data-shape="${shape}"] table.cells tbody tr`, (rs) => rs.map((r) => r.cells[0].textContent));
    expect(!drawn.includes("chan") && drawn.length === linesOf(cells, shape, new Set(["chan"])), `run: chan off: ${shape} draws ${drawn.join(",")}`);
    expect(mixed, "run: chan off: its group's switch is no longer checked");
    expect(!rows.includes("chan"), "run: chan off: its rows leave the table");
  }],
  ["run: the scale changes the axis and the figures", "run", async (page) => {
    const before = [await yLabel(page), await yTicks(page)];
    await page.selectOption("#scale", "s");
    const seconds = [await yLabel(page), await yTicks(page)];
    await page.selectOption("#scale", "x:copy");
    const copy = [await yLabel(page), await yTicks(page)];
    expect(before[0].includes("nanoseconds per point"), `run: default axis "${before[0]}"`);
    expect(seconds[0].includes("seconds per call") && seconds[1] !== before[1], `run: seconds: axis "${seconds[0]}", ticks "${seconds[1]}" (were "${before[1]}")`);
    expect(copy[0].includes("multiple of copy") && copy[1] !== seconds[1], `run: multiple of copy: axis "${copy[0]}", ticks "${copy[1]}"`);
    const ratio = await page.$eval('.panel table.cells', (t) => {
      const names = [...t.tHead.rows[0].cells].map((c) => c.textContent);
      const row = [...t.tBodies[0].rows].find((r) => r.cells[0].textContent === "copy");
      return row ? row.cells[names.findIndex((n) => n.startsWith("multiple of copy"))].textContent : "no copy row";
    });
    expect(ratio === "1.000", `run: multiple of copy: copy's own figure is ${ratio}`);
  }],
  ["run: WRONG cells are marked in the panel and the table, with the message", "run", async (page, cells) => {
    for (const shape of shapesOf(cells)) {
      const wrong = cells.filter((c) => c.shape === shape && c.status === "WRONG" && timed(c));
      const marks = await page.$$eval(`.panel[data-shape="${shape}"] g.wrong-mark > *`, (m) => m.length);
      const rows = await page.$$eval(`.panel[data-shape="${shape}"] tr.status-WRONG`, (rs) => rs.map((r) => r.textContent));
      expect(wrong.length > 0 && marks === wrong.length, `run: ${shape}: ${marks} WRONG marks, ${wrong.length} WRONG cells in the TSV`);
      expect(rows.length === wrong.length && wrong.every((c) => rows.some((r) => r.includes(c.note))), `run: ${shape}: the WRONG rows carry their notes ("${wrong[0]?.note}")`);
    }
  }],
  ["run: hovering a point shows its entry, n, median, interval and runs", "run", async (page) => {
    const box = await page.$eval(".panel svg", (s) => {
      const dot = s.querySelector('g[aria-label="dot"] circle');
      dot.scrollIntoView({ block: "center" });  // the summary above the panels may push it below the window
      const r = dot.getBoundingClientRect();
      return { x: r.x + r.width / 2, y: r.y + r.height / 2 };
    });
    await page.mouse.move(box.x, box.y);
    await page.waitForTimeout(100);
    // The tip wraps its lines where it must; a space it wraps at is gone from textContent, and
    // a zero-width space may mark the break: both read as one space here.
    const wrapped = await page.$eval(".panel svg", (s) => (s.querySelector('g[aria-label="tip"]') || { textContent: "" }).textContent);
    const tip = wrapped.replace(/[\s\u200b]+/g, " ");
    expect(/status: /.test(tip) && /runs: /.test(tip) && /n [\d,]+, h /.test(tip) && / to /.test(tip), `run: the tip reads "${tip.replace(/\n/g, " | ")}"`);
  }],
  ["run: a table sorts by a column", "run", async (page, cells) => {
    const table = `.panel[data-shape="${shapesOf(cells)[0]}"] table.cells`;
    await page.click(`${table} th:nth-child(5)`);  // median (s)
    const medians = await page.$$eval(`${table} tbody tr`, (rs) => rs.map((r) => parseFloat(r.cells[4].textContent)).filter((v) => !isNaN(v)));
    const sorted = [...medians].sort((a, b) => a - b);
    expect(medians.length > 1 && JSON.stringify(medians) === JSON.stringify(sorted), `run: sorted by median: ${medians.join(" ")}`);
  }],
  ["run: the context and its warnings are at the top, the growth under each panel", "run", async (page, cells) => {
    const cpu = await page.$$eval("dl.context dt", (d) => d.map((x) => x.textContent));
    const growth = await page.$$eval(".panel .growth", (g) => g.map((x) => x.textContent));
    expect(cpu.includes("cpu") && cpu.includes("libraries"), `run: context keys ${cpu.join(",")}`);
    expect(growth.length === shapesOf(cells).length && growth.every((g) => /incremental ~ n\^\d\.\d\d \(1,000 to 4,000\)/.test(g)), `run: growth "${growth[0]}"`);
  }],
  ["run: the summary shows each row's fastest entry and library as the lab marked them, with its doubt", "run", async (page, cells) => {
    const rows = await page.$$eval("table.summary tr[data-shape]", (rs) =>
      rs.map((r) => [r.dataset.shape, Number(r.dataset.n), r.querySelector("td.fastest").textContent,
        r.querySelector("td.fastest-time").textContent]));
    const marked = new Map(cells.filter((c) => c.fastest === "entry").map((c) => [c.shape + " " + c.n, c]));
    expect(rows.length === marked.size && rows.length > 0, `run: ${rows.length} summary rows, ${marked.size} marked in the TSV`);
    for (const [shape, n, entry, time] of rows) {
      const c = marked.get(shape + " " + n);
      expect(c && entry === c.algorithm, `run: summary ${shape} ${n}: fastest ${entry}, the TSV's ${c?.algorithm}`);
      const rival = c && c.sure.startsWith("no: ") && c.sure !== "no: one run" ? c.sure.slice(4) : null;
      expect(rival ? time.includes("not sure: " + rival) : c?.sure !== "yes" || !time.includes("not sure"),
        `run: summary ${shape} ${n}: "${time}" for sure = ${c?.sure}`);
    }
  }],
  ["old: the summary names each row's fastest entry and fastest library", "old", async (page, cells) => {
    const rows = await page.$$eval("table.summary tr[data-shape]", (rs) =>
      rs.map((r) => [r.dataset.shape, Number(r.dataset.n), r.querySelector("td.fastest").textContent, r.querySelector("td.library").textContent]));
    const fastest = (pick) => {
      const out = new Map();
      for (const c of cells.filter((c) => c.status === "ok" && pick(c))) {
        const key = c.shape + " " + c.n;
        if (!out.has(key) || Number(c.median_s) < Number(out.get(key).median_s)) out.set(key, c);
      }
      return out;
    };
    const any = fastest((c) => c.algorithm !== "copy"), library = fastest((c) => c.algorithm.startsWith("cgal-"));
    expect(rows.length === any.size && rows.length > 0, `run: ${rows.length} summary rows for ${any.size} rows of the TSV`);
    for (const [shape, n, entry, lib] of rows) {
      expect(entry === any.get(shape + " " + n).algorithm, `run: summary ${shape} ${n}: fastest ${entry}, the TSV's ${any.get(shape + " " + n).algorithm}`);
      expect(lib === (library.get(shape + " " + n)?.algorithm ?? "-"), `run: summary ${shape} ${n}: fastest library ${lib}`);
    }
  }],
  ["run: tables open sorted by the figure, fastest first, and whole", "run", async (page, cells) => {
    for (const shape of shapesOf(cells)) {
      const table = `.panel[data-shape="${shape}"] table.cells`;
      const figures = await page.$$eval(`${table} tbody tr`, (rs) => rs.map((r) => parseFloat(r.cells[6].textContent)).filter((v) => !isNaN(v)));
      expect(figures.length > 1 && figures.every((v, i) => i === 0 || figures[i - 1] <= v), `run: ${shape}: the table opens by its figure: ${figures.join(" ")}`);
      const scrolls = await page.$eval(`.panel[data-shape="${shape}"] .table-box`, (b) => b.scrollHeight > b.clientHeight + 1);
      expect(!scrolls, `run: ${shape}: the table is shown whole, not in a scroll box`);
    }
  }],
  ["run: no two lines of a panel look alike, and each is labelled with its entry", "run", async (page, cells) => {
    for (const shape of shapesOf(cells)) {
      const styles = await page.$$eval(`.panel[data-shape="${shape}"] g.entry-line`, (gs) =>
        gs.map((g) => (g.getAttribute("stroke") || g.querySelector("path").getAttribute("stroke")) + " " +
          (g.getAttribute("stroke-dasharray") || g.querySelector("path").getAttribute("stroke-dasharray") || "solid")));
      expect(new Set(styles).size === styles.length && styles.length === linesOf(cells, shape), `run: ${shape}: line styles ${styles.join(" | ")}`);
      const labels = await page.$$eval(`.panel[data-shape="${shape}"] g.entry-label text`, (ts) => ts.map((t) => t.textContent).sort());
      const drawn = (await drawnEntries(page, shape)).sort();
      expect(JSON.stringify(labels) === JSON.stringify(drawn), `run: ${shape}: labels ${labels.join(",")}, lines ${drawn.join(",")}`);
    }
  }],
  ["run: switching the slowest entry off rescales the panel", "run", async (page, cells) => {
    const shape = shapesOf(cells)[0];
    const ok = cells.filter((c) => c.shape === shape && timed(c));
    // The entry whose line or interval bar reaches highest sets the top of the axis.
    const top = (c) => Math.max(Number(c.median_s), c.hi_s === "-" ? 0 : Number(c.hi_s)) / c.n;
    const slowest = ok.reduce((a, b) => (top(b) > top(a) ? b : a)).algorithm;
    const fastest = ok.reduce((a, b) => (Number(b.median_s) / b.n < Number(a.median_s) / a.n ? b : a)).algorithm;
    // Where the fastest entry's line is drawn: it moves when the y axis is scaled anew.
    const line = () => page.$eval(`.panel[data-shape="${shape}"] g.entry-line[aria-description="${fastest}"] path`, (p) => p.getAttribute("d"));
    const labels = () => page.$$eval(`.panel[data-shape="${shape}"] g.entry-label text`, (ts) => ts.map((t) => t.textContent));
    const before = await line();
    await page.click(`input[data-entry="${slowest}"]`);
    const after = await line();
    expect(before !== after && !(await labels()).includes(slowest), `run: ${slowest} off: ${fastest}'s line moved as the axis was scaled to the entries shown`);
    await page.click(`input[data-entry="${slowest}"]`);
    expect((await line()) === before, `run: ${slowest} on again: ${fastest}'s line is back where it was`);
  }],
  ["baseline: ratios per cell, verdicts, geometric means", "baseline", async (page, cells) => {
    const shown = await panelLines(page);
    expect(shown.length === shapesOf(cells).length && shown.every(([s, l]) => l === linesOf(cells, s)), `baseline: panels and lines ${JSON.stringify(shown)}`);
    const label = await yLabel(page);
    expect(label.includes("new / old"), `baseline: axis "${label}"`);
    const verdicts = await page.$$eval("table.cells tbody tr", (rs) => rs.map((r) => r.className));
    expect(verdicts.length === cells.length && verdicts.every((v) => /verdict-(same|slower|faster|-)/.test(v)), `baseline: row classes ${verdicts.slice(0, 3).join(" ")}`);
    const slower = cells.filter((c) => c.verdict === "slower").map((c) => c.algorithm);
    const coloured = await page.$$eval("table.cells tr.verdict-slower td:nth-child(9)", (tds) =>
      tds.map((td) => [td.closest("tr").cells[0].textContent, getComputedStyle(td).backgroundColor]));
    expect(slower.length > 0 && slower.every((name) => name === "three-times-slower"), `baseline: the TSV calls ${slower.join(",")} slower`);
    expect(coloured.length === slower.length && coloured.every(([name, colour]) => name === "three-times-slower" && colour !== "rgba(0, 0, 0, 0)"),
      `baseline: slower verdicts coloured ${JSON.stringify(coloured)}`);
    const means = await page.$$eval("table.means tr", (rs) => rs.map((r) => r.cells[0].textContent));
    expect(means.includes("all cells together") && means.some((m) => m.startsWith("copy")), `baseline: means for ${means.join(", ")}`);
    const together = await page.$$eval("table.means tr", (rs) => rs.filter((r) => r.cells[0].textContent === "all cells together").map((r) => r.cells[3].textContent));
    expect(together.length === 1 && together[0] === "no single verdict", `baseline: the mean of all cells is no verdict: ${together}`);
    // The means are the lab's: its "# mean:" lines, verdicts and cells as it called them.
    const tsvMeans = fs.readFileSync(path.join(work, "baseline.tsv"), "utf8").split("\n").filter((l) => l.startsWith("# mean: "))
      .map((l) => l.slice(8).split("\t")).filter((m) => m[0] !== "all cells");
    const shownMeans = await page.$$eval("table.means tr", (rs) => rs.slice(1).map((r) => [r.cells[0].textContent, r.cells[3].textContent, r.cells[4].textContent]));
    expect(tsvMeans.length > 0 && tsvMeans.every(([name, , , , verdict, n]) =>
      shownMeans.some(([shown, v, c]) => shown.startsWith(name) && v === verdict && c === n)),
      `baseline: the page's means ${JSON.stringify(shownMeans)} are the TSV's ${JSON.stringify(tsvMeans)}`);
  }],
  ["old: a TSV without runs or intervals still draws", "old", async (page, cells) => {
    const shown = await panelLines(page);
    expect(shown.length === shapesOf(cells).length && shown.every(([s, l]) => l === linesOf(cells, s)), `old: panels and lines ${JSON.stringify(shown)}`);
    const bars = await page.$$eval("g.interval > *", (b) => b.length);
    expect(bars === 0, `old: ${bars} interval bars where the TSV has none`);
  }],
  ["large: every shape at 10 sizes and 25 entries", "large", async (page, cells) => {
    const shown = await panelLines(page);
    expect(shown.length === 8 && shown.every(([s, l]) => l === 25), `large: panels and lines ${JSON.stringify(shown)}`);
    for (const shape of ["circle", "line"]) {
      const untimed = cells.filter((c) => c.shape === shape && !timed(c));
      const marks = await page.$$eval(`.panel[data-shape="${shape}"] g.untimed-mark > *`, (m) => m.length);
      expect(untimed.length > 0 && marks === untimed.length, `large: ${shape}: ${marks} marks of cells not timed, ${untimed.length} in the TSV (${untimed[0]?.status})`);
    }
    const first = await page.evaluate(() => window.labPage.firstDrawMs);
    const load = await page.evaluate(() => performance.now());
    await page.click(`input[data-group="the libraries"]`);
    const again = await page.evaluate(() => window.labPage.drawMs);
    // Reported, not asserted: a shared machine's timings are no test.
    console.log(`     large: ${cells.length} cells drawn in ${first.toFixed(0)} ms (page ready ${load.toFixed(0)} ms after it began loading); redrawn without the libraries in ${again.toFixed(0)} ms`);
  }],
  ["counts: each count is a scale, its figure the TSV's count per call / n", "counts", async (page, cells) => {
    const scales = await page.$$eval("#scale option", (os) => os.map((o) => o.value));
    expect(["c:est_cycles", "c:instructions", "c:l1_misses", "c:ll_misses", "c:branch_misses"].every((v) => scales.includes(v)) && scales.includes("ns"),
      `counts: scales ${scales.join(" ")}`);
    for (const [scale, column, label] of [["c:est_cycles", "est_cycles", "estimated cycles per point"], ["c:instructions", "instructions", "instructions per point"]]) {
      await page.selectOption("#scale", scale);
      const axis = await yLabel(page);
      const shown = await page.$eval(".panel table.cells", (t) => {
        const names = [...t.tHead.rows[0].cells].map((c) => c.textContent);
        const at = names.findIndex((n) => n.includes("per point"));
        return [...t.tBodies[0].rows].map((r) => [r.cells[0].textContent, r.cells[2].textContent, r.cells[at].textContent]);
      });
      expect(axis.includes(label), `counts: ${scale}: axis "${axis}"`);
      for (const [entry, n, text] of shown) {
        const cell = cells.find((c) => c.algorithm === entry && Number(c.n) === Number(n.replace(/,/g, "")));
        const expected = cell[column] === "" ? "-" : Number(cell[column]) / Number(cell.n);
        expect(expected === "-" ? text === "-" : Math.abs(Number(text) / expected - 1) < 0.01, `counts: ${scale}: ${entry} at ${n} shows ${text}, the TSV ${expected}`);
      }
    }
  }],
  ["counted baseline: the count verdicts, drawn and in the table", "counted-baseline", async (page, cells) => {
    expect((await yLabel(page)).includes("est_cycles new / old"), `counted baseline: axis "${await yLabel(page)}"`);
    const rows = await page.$$eval(".panel table.cells", (ts) => ts.flatMap((t) => {
      const names = [...t.tHead.rows[0].cells].map((c) => c.textContent);
      return [...t.tBodies[0].rows].map((r) => [r.cells[0].textContent, r.cells[names.indexOf("count verdict")].textContent]);
    }));
    const expected = cells.map((c) => [c.algorithm, c.count_verdict]);
    expect(rows.length === cells.length && expected.every(([a, v]) => rows.some(([ra, rv]) => ra === a && rv === v)),
      `counted baseline: table ${JSON.stringify(rows)}, the TSV ${JSON.stringify(expected)}`);
    expect(expected.some(([a, v]) => a === "three-times-slower" && v === "slower"), `counted baseline: the TSV calls the slower build slower: ${JSON.stringify(expected)}`);
  }],
  ["history: a panel per cell, its intervals, the step at its commit and the compiler's change", "history", async (page, history) => {
    const panels = await page.$$eval(".history-panel", (ps) => ps.map((p) => ({cell: p.dataset.cell,
      bands: p.querySelectorAll("g.interval path").length, medians: p.querySelectorAll("g.median path").length,
      steps: p.querySelectorAll("g.step line").length, builds: p.querySelectorAll("g.build-change line").length,
      text: p.textContent, failed: p.querySelectorAll("g.failed text").length,
      ticks: [...p.querySelectorAll("svg g[aria-label='x-axis tick label'] text")].map((t) => t.textContent)})));
    expect(panels.length === history.cells.length && panels.length > 0, `history: ${panels.length} panels, ${history.cells.length} cells in the JSON`);
    for (const cell of history.cells) {
      const shown = panels.find((p) => p.cell === `${cell.algorithm} ${cell.shape} ${cell.n}`);
      if (!shown) { expect(false, `history: no panel for ${cell.algorithm} ${cell.shape} ${cell.n}`); continue; }
      const steps = cell.steps.length;
      expect(shown.medians > 0 && shown.bands > 0, `history: ${shown.cell}: ${shown.medians} median lines, ${shown.bands} interval bands`);
      expect(shown.steps === steps, `history: ${shown.cell}: ${shown.steps} steps drawn, ${steps} in the JSON`);
      expect(shown.builds >= 2 && shown.text.includes("compiler: Clang 14.0.6"), `history: ${shown.cell}: the compiler's change marked (${shown.builds} rules)`);
      expect((cell.algorithm === "incremental" || cell.algorithm === "qhull-array") === (steps > 0),
        `history: ${shown.cell}: ${steps} steps; only incremental's instructions moved and qhull-array's hull failed`);
      const failed = cell.points.filter((p) => p.status === "WRONG").length;
      expect(shown.failed === failed && (cell.algorithm === "qhull-array") === (failed > 0),
        `history: ${shown.cell}: ${shown.failed} runs marked failed, ${failed} WRONG in the JSON`);
      // Each plot of the panel has an axis: every tick a commit and its run's label, the four runs in order.
      expect(shown.ticks.length > 0 && shown.ticks.length % 4 === 0 && shown.ticks.every((t, i) => new RegExp(`^[0-9a-f]{8} night-${(i % 4) + 1}$`).test(t)),
        `history: ${shown.cell}: each run's label on the axis: ${JSON.stringify(shown.ticks)}`);
      if (cell.algorithm === "qhull-array") {
        expect(shown.text.includes("dddddddddddd became WRONG") &&
          shown.text.includes("status: became WRONG at dddddddddddd (after cccccccccccc): a point in the middle of an edge"),
          `history: ${shown.cell}: the change of status at its commit, and why`);
      }
      if (cell.algorithm === "incremental") {
        const label = await page.$eval(`.history-panel[data-cell="${shown.cell}"]`, (p) =>
          [...p.querySelectorAll("svg text")].map((t) => t.textContent).find((t) => t.startsWith("cccccccccccc ")) || "");
        expect(label === "cccccccccccc +10.0%", `history: ${shown.cell}: the step's rule labelled "${label}", its commit and change`);
        expect(shown.text.includes("at cccccccccccc (after bbbbbbbbbbbb): instructions +10.00%"), `history: ${shown.cell}: what moved, under the panel`);
      }
    }
  }],
];

const browser = await chromium.launch({ executablePath: CHROMIUM, args: ["--no-sandbox", "--disable-gpu", "--disable-background-networking"] });
try {
  for (const [name, file, check] of cases) {
    const { page, problems } = await open(browser, file);
    try {
      await check(page, file === "history" ? JSON.parse(fs.readFileSync(path.join(work, "history.json"), "utf8")) : readTsv(file));
    } catch (e) {
      expect(false, `${name}: ${e.message}`);
    }
    expect(problems.length === 0, `${name}: no console error, page error or network request${problems.length ? ": " + problems.join("; ") : ""}`);
    await page.close();
  }
} finally {
  await browser.close();
}
console.log(failures.length ? `${failures.length} checks failed` : "every check passed");
process.exit(failures.length ? 1 : 0);
