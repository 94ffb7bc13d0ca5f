// The inspector page in headless Chromium, against the programs: the rows,
// the verdict, the changes and the saved bytes are what mocfinfo says, an
// edited MOCF is what mocfedit makes, the served site asks for nothing
// beyond its own files, and the one-file page, opened from disk, for
// nothing at all.
//   node tests/web_inspector_test.mjs SITE PROGRAMS OUT
// SITE: the built site (build-web/site), the one-file page beside it;
// PROGRAMS: the folder of mocfinfo, mocfbuild, mocftool and mocfedit; OUT: where
// screenshots and scratch files go.
import assert from "node:assert/strict";
import { execFileSync, spawnSync } from "node:child_process";
import fs from "node:fs";
import http from "node:http";
import { createRequire } from "node:module";
import path from "node:path";
import { pathToFileURL } from "node:url";

const [site, programs, out] = process.argv.slice(2).map((p) => path.resolve(p));
const top = path.resolve(path.dirname(new URL(import.meta.url).pathname), "..");
const puppeteer = createRequire(path.join(top, "web", "package.json"))("puppeteer-core");
const onePage = pathToFileURL(path.join(path.dirname(site), "mocf-inspector.html")).href;
const largeMiB = Number(process.env.MOCF_WEB_LARGE_MIB ?? 512);

fs.rmSync(out, { recursive: true, force: true });
fs.mkdirSync(out, { recursive: true });
const scratch = (name) => path.join(out, name);

function program(name, args, options = {}) {
  const run = spawnSync(path.join(programs, name), args, { cwd: out, ...options });
  return { status: run.status, stdout: run.stdout.toString(), stderr: run.stderr.toString() };
}

// ---- The files ------------------------------------------------------------

program("mocfbuild", ["-d", "-m", scratch("example.mocf"), "example.list"], { cwd: path.join(top, "examples") });
const damaged = fs.readFileSync(scratch("example.mocf"));
damaged[30] ^= 0x40;  // inside the stored digest
fs.writeFileSync(scratch("damaged.mocf"), damaged);
fs.copyFileSync(path.join(top, "README.md"), scratch("foreign.mocf"));
fs.copyFileSync("/bin/ls", scratch("program.mocf"));  // no MOCF, though its bytes would walk as records
// The example with a setting changed, a record gone and a user file more.
fs.cpSync(path.join(top, "examples"), scratch("changed"), { recursive: true });
const edit = (name, change) => fs.writeFileSync(scratch(name), change(fs.readFileSync(scratch(name), "utf8")));
edit("changed/menu_settings.txt", (text) => text.replace("Audio.Volume=5", "Audio.Volume=7"));
edit("changed/example.list", (text) => text.replace(/^.*CustomDefaults.*$/m, "-f extra.txt -t user"));
fs.writeFileSync(scratch("changed/extra.txt"), "Added later.\n");
fs.copyFileSync(scratch("changed/extra.txt"), scratch("extra.txt"));
program("mocfbuild", ["-d", "-m", scratch("changed.mocf"), "example.list"], { cwd: scratch("changed") });

// ---- A server of the site alone ------------------------------------------

const types = { ".html": "text/html", ".js": "text/javascript", ".css": "text/css", ".wasm": "application/wasm" };
const server = http.createServer((request, response) => {
  const name = decodeURIComponent(new URL(request.url, "http://x").pathname).replace(/\/$/, "/index.html");
  const file = path.join(site, name);
  if (!file.startsWith(site + path.sep) || !fs.statSync(file, { throwIfNoEntry: false })?.isFile()) {
    return response.writeHead(404).end();
  }
  response.writeHead(200, { "Content-Type": types[path.extname(file)] ?? "application/octet-stream" });
  fs.createReadStream(file).pipe(response);
});
await new Promise((resolve) => server.listen(0, "127.0.0.1", resolve));
const origin = `http://127.0.0.1:${server.address().port}`;

const browser = await puppeteer.launch({
  executablePath: process.env.CHROMIUM ?? "/usr/bin/chromium",
  args: ["--no-sandbox", "--disable-dev-shm-usage"],
});

// A page of its own, with what it asked for and what went wrong in it, its
// policy's refusals included.
async function visit(url, ready = "true") {
  const page = await browser.newPage();
  const visited = { page, asked: [], problems: [] };
  page.on("request", (request) => visited.asked.push(request.url()));
  page.on("pageerror", (error) => visited.problems.push(String(error)));
  page.on("console", (message) => message.type() === "error" && visited.problems.push(message.text().slice(0, 200)));
  await page.goto(url, { waitUntil: "load" });
  await page.waitForSelector(`body[data-ready="${ready}"]`, { timeout: 30000 });
  return visited;
}

// The page against the programs, the served site and the one-file page alike.
async function check({ page }, label) {
  const downloads = scratch("downloads-" + label);
  const cdp = await page.createCDPSession();
  await cdp.send("Browser.setDownloadBehavior", { behavior: "allow", downloadPath: downloads });
  let opened = 0;
  async function settled(action) {
    await action();
    opened += 1;
    await page.waitForSelector(`body[data-opened="${opened}"]`, { timeout: 120000 });
  }
  const choose = (...names) => settled(async () => (await page.$("#files")).uploadFile(...names.map(scratch)));
  const text = (selector) => page.$eval(selector, (node) => node.textContent);
  const shot = (name) => page.screenshot({ path: scratch(`${label}-${name}.png`), fullPage: true });
  const rows = () => page.$$eval("#records tr[data-record]", (trs) =>
    trs.map((tr) => [...tr.cells].slice(0, 5).map((td) => td.textContent)));
  const listed = (name) => program("mocfinfo", [name]).stdout.split("\n")
    .map((line) => line.match(/^\s*(\d+)\s+(\S+)\s+(\S+)\s+(\d+) (.*)$/)).filter(Boolean).map((m) => m.slice(1));
  // What a button downloads, under name.
  async function downloaded(button, name) {
    const saved = path.join(downloads, name);
    fs.rmSync(saved, { force: true });
    await page.click(button);
    for (let wait = 0; !fs.existsSync(saved) && wait < 100; wait++) await new Promise((r) => setTimeout(r, 100));
    return fs.readFileSync(saved);
  }
  // A button's download is what mocfinfo writes with args.
  async function saves(button, name, ...args) {
    program("mocfinfo", [...args, "-o", `${label}-${name}`, "example.mocf"]);
    assert.deepEqual(await downloaded(button, name), fs.readFileSync(scratch(`${label}-${name}`)));
  }

  // The chooser takes several files, the user file to add one.
  assert.deepEqual(await page.$$eval("input", (inputs) => inputs.map((i) => [i.id, i.type, i.multiple])),
    [["files", "file", true], ["add-user-file", "file", false]]);

  // Inspect: each row is mocfinfo's line, each record a block.
  await choose("example.mocf");
  const lines = listed("example.mocf");
  assert.deepEqual(await rows(), lines);
  assert.equal(await text("#verdict"), program("mocfinfo", ["--verify", "example.mocf"]).stdout.trim());
  assert.equal(await page.$$eval("#layout [data-block]", (blocks) => blocks.length), lines.length);
  assert.equal(await page.$eval(".block.kind-hash", (b) => b.classList.contains("hash-ok")), true);

  // A block selects its row; the keys move on; the record saved is mocfinfo --record's,
  // a user file's data mocfinfo --extract's, under its stored name.
  await page.click('#layout [data-block="5"]');
  assert.equal(await page.$eval('#records tr[data-record="5"]', (tr) => tr.getAttribute("aria-selected")), "true");
  await page.focus('#records tr[data-record="5"]');
  await page.keyboard.press("ArrowDown");
  assert.equal(await page.$eval('#layout [data-block="6"]', (b) => b.getAttribute("aria-selected")), "true");
  assert.match(await text("#details"), /Display\.Timeout=300/);
  await page.click('#layout [data-block="5"]');
  await shot("inspect");
  await saves("#save", "example-record-5.obj", "--record", "5");
  await page.click('#layout [data-block="4"]');
  await saves("#save-file", "welcome.txt", "--extract", "4");

  // A damaged file and two that are no MOCF, chosen under one name in turn,
  // as a file changed on disk is chosen again: mocfinfo's reason and rows,
  // never a blank page nor the file before.
  for (const name of ["damaged.mocf", "foreign.mocf", "program.mocf"]) {
    fs.copyFileSync(scratch(name), scratch("other.mocf"));
    await choose("other.mocf");
    assert.equal(await text("#verdict"), program("mocfinfo", ["--verify", "other.mocf"]).stdout.trim());
    const other = listed("other.mocf");
    assert.deepEqual(await rows(), other);
    assert.equal(await page.$eval("#records", (table) => table.checkVisibility()), other.length > 0);
    if (name === "damaged.mocf") assert.ok(await page.$(".block.kind-hash.hash-bad"));
    await shot(name.replace(".mocf", ""));
  }

  // Two files: the changes mocfinfo --diff finds, in its words; then swapped, new to old.
  for (const [oldName, newName] of [["example.mocf", "changed.mocf"], ["changed.mocf", "example.mocf"]]) {
    await (oldName === "example.mocf" ? choose(oldName, newName) : settled(() => page.click("#swap")));
    const diff = JSON.parse(program("mocfinfo", ["--diff", "--json", oldName, newName]).stdout);
    const said = program("mocfinfo", ["--diff", oldName, newName]).stdout.trimEnd().split("\n");
    assert.equal(await text("#diff-summary"), said[0]);
    const changes = await page.$$eval("#diff [data-change]", (items) => items.map((li) => [li.dataset.change, li.textContent]));
    assert.deepEqual(changes.map((c) => c[0]), diff.changes.map((c) => c.change));
    assert.equal(changes.map((c) => c[1]).join("\n"), said.slice(1).join("\n"));
    assert.deepEqual(changes.map((c) => c[0]).sort(), ["added", "changed", "removed"]);
    await shot("compare-" + oldName.replace(".mocf", ""));
  }

  // Edits, one at a time, each shown as made: a record removed, a user file
  // added, a menu setting set with Enter; saved, they are mocfedit's MOCF.
  await choose("example.mocf");
  await settled(() => page.click('#records tr[data-record="4"] [data-action=remove]'));
  await settled(async () => (await page.$("#add-user-file")).uploadFile(scratch("extra.txt")));
  await page.click('#records tr[data-record="5"]');
  await page.$eval('[data-setting="Audio.Volume"]', (input) => { input.value = ""; });
  await page.type('[data-setting="Audio.Volume"]', "9");
  await settled(() => page.keyboard.press("Enter"));
  const edited = path.join(out, label + "-edited");
  fs.mkdirSync(edited);
  fs.copyFileSync(scratch("example.mocf"), path.join(edited, "example.mocf"));
  fs.copyFileSync(scratch("extra.txt"), path.join(edited, "extra.txt"));
  const made = program("mocfedit", ["-m", "example.mocf", "--remove", "4", "--add", "-f extra.txt -t user",
    "--set", "MenuSettings", "Audio.Volume=9"], { cwd: edited });
  assert.equal(made.status, 0, made.stderr);
  const good = fs.readFileSync(path.join(edited, "example.mocf"));
  assert.deepEqual(await downloaded("#download", "example.mocf"), good);
  assert.deepEqual(await rows(), listed(path.join(edited, "example.mocf")));
  assert.equal(await text("#verdict"), program("mocfinfo", ["--verify", "example.mocf"], { cwd: edited }).stdout.trim());
  await shot("edited");

  // A refused edit says mocfedit's reason, and the MOCF saved is the last good one.
  await settled(() => page.click('#records tr[data-record="3"] [data-action=remove]'));
  const refused = program("mocfedit", ["-m", "example.mocf", "--remove", "3"], { cwd: edited });
  assert.equal(refused.status, 2);
  const verdict = await text("#verdict");
  for (const line of refused.stderr.trim().split("\n")) assert.ok(verdict.includes(line.replace(/^mocfedit: /, "")), verdict);
  assert.deepEqual(await downloaded("#download", "example.mocf"), good);
  await shot("refused");
  return { choose, text };
}

try {
  const served = await visit(origin + "/");
  const { choose, text } = await check(served, "served");

  // A large MOCF opens, and the page says what it cost.
  if (largeMiB > 0) {
    fs.writeFileSync(scratch("large.bin"), "");
    fs.truncateSync(scratch("large.bin"), largeMiB << 20);
    program("mocftool", ["-m", "large.mocf", "-f", path.join(top, "examples", "products.txt"), "-t", "CompatProd", "-d"]);
    program("mocftool", ["-m", "large.mocf", "-f", "large.bin", "-t", "user"]);
    fs.rmSync(scratch("large.bin"));
    const started = Date.now();
    await choose("large.mocf");
    const seconds = (Date.now() - started) / 1000;
    assert.equal(await text("#verdict"), "large.mocf: valid");
    const memory = await served.page.evaluate(() => engine.HEAPU8.length);
    console.log(`large MOCF: ${largeMiB} MiB opened in ${seconds.toFixed(1)} s; engine memory ${memory >> 20} MiB`);
  }
  // The site asks for its own files alone: nothing from elsewhere, nothing more from its site.
  const own = ["/", "/style.css", "/mocfweb.js", "/inspector.js", "/mocfweb.wasm"].map((p) => origin + p);
  assert.deepEqual(served.asked.filter((url) => !/^(blob|data):/.test(url) && !own.includes(url)), []);

  // The one-file page from disk: the same page, asking for nothing but itself.
  const alone = await visit(onePage);
  await check(alone, "one-file");
  assert.deepEqual(alone.asked, [onePage]);

  // The site from disk cannot fetch its engine: the page says so plainly, and
  // neither its chooser nor a drop reaches for the engine.
  const broken = await visit(pathToFileURL(path.join(site, "index.html")).href, "false");
  await broken.page.evaluate(async () => {
    const dropped = new DataTransfer();
    dropped.items.add(new File(["MOCF"], "dropped.mocf"));
    document.dispatchEvent(new DragEvent("drop", { dataTransfer: dropped, cancelable: true }));
    await new Promise((resolve) => setTimeout(resolve, 100));
  });
  assert.match(await broken.page.$eval("#status", (node) => node.textContent),
    /^The engine did not load \(.+\), so this page cannot read files\. Opened from disk, this page needs a server; mocf-inspector\.html/);
  assert.equal(await broken.page.$eval("#files", (input) => input.disabled), true);
  await broken.page.screenshot({ path: scratch("no-engine.png") });

  assert.deepEqual([...served.problems, ...alone.problems], []);
  console.log(`web inspector: all checks passed; screenshots in ${out}`);
} finally {
  // A failure is thrown on from here, and ends the run with status 1.
  await browser.close();
  server.close();
}
process.exit(0);
