#!/usr/bin/env node
// An example program for hull-lab in JavaScript: d3's polygonHull (d3-polygon), the hull a web page
// calls, on the d3 the lab's page pins (tools/page, `make page-libraries`). Reads a point file
// ("x;y" lines) and prints the hull's corners, one "x;y" line each. d3 computes in doubles: the
// cross products of coordinates near 2^30 lose their low bits, so it can be WRONG where an exact
// turn test is needed (the shape sliver). It refuses fewer than 3 points, for which polygonHull
// returns null. Times itself: computes the hull HULL_LAB_ROUNDS times (1 when it is not set), each
// on a fresh copy of the points as every entry of the lab gets, and prints "time: SECONDS" for each
// round on standard error, so that the lab times the hull, not node's start-up or the reading.
//
//     hull-lab --program 'node examples/d3_hull.js'
"use strict";
const fs = require("fs");
const path = require("path");
const { pathToFileURL } = require("url");

async function main() {
  // d3 as its package ships it, an ES module, from where `make page-libraries` put it.
  const d3 = await import(pathToFileURL(path.join(__dirname, "..", "tools", "page", "node_modules", "d3", "src", "index.js")).href);
  const points = fs.readFileSync(process.argv[2], "utf8").split("\n").filter((line) => line.trim() !== "")
    .map((line) => line.split(";").map(Number));
  if (points.length < 3) {
    process.stderr.write(`refused: d3.polygonHull needs 3 points or more, not ${points.length}\n`);
    process.exitCode = 1;
    return;
  }
  const rounds = Math.max(1, parseInt(process.env.HULL_LAB_ROUNDS || "1", 10));
  let hull = null;
  for (let round = 0; round < rounds; ++round) {
    const start = process.hrtime.bigint();
    hull = d3.polygonHull(points.map(([x, y]) => [x, y]));
    process.stderr.write(`time: ${(Number(process.hrtime.bigint() - start) / 1e9).toFixed(9)}\n`);
  }
  process.stdout.write((hull || []).map(([x, y]) => `${x};${y}\n`).join(""));
}

main();
