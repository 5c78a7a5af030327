// d3's polygonHull (d3-polygon 3) on 3 points: WRONG, a point outside.
// Found and shrunk by hull-lab's hunt (entry d3_hull). Run:
//   npm install d3-polygon@3 && node report.mjs
// It prints the hull the library returns and the exact hull, and exits 1 where they differ.
const points = [
  [0.6, 0.06],
  [0.2, 0.02],
  [0.1, 0.01],
];
// The exact hull's corners, clockwise from the lowest of the leftmost (hull-lab's exact check).
const exact = [
  [0.1, 0.01],
  [0.6, 0.06],
  [0.2, 0.02],
];

let polygonHull;
try {
  ({ polygonHull } = await import("d3-polygon"));
} catch (e) {
  console.log(`no d3-polygon here: ${e.message}`);
  process.exit(2);
}
const got = polygonHull(points.map(([x, y]) => [x, y])) || [];
const same = (a, b) => a.length === b.length && a.every(([x, y], i) => Object.is(x, b[i][0]) && Object.is(y, b[i][1]));
const reversed = [...exact].reverse();
const turns = got.map((_, r) => [...got.slice(r), ...got.slice(0, r)]);
const right = got.length === exact.length && (got.length === 0 || turns.some((t) => same(t, exact) || same(t, reversed)));
console.log(`d3:     ${JSON.stringify(got)}\nexact:  ${JSON.stringify(exact)}`);
console.log(right ? "the same hull" : "not the exact hull");
process.exit(right ? 0 : 1);
