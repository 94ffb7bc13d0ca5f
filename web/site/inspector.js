// The MOCF inspector: the files chosen are read into the engine's memory
// (compiled from the same sources as mocfinfo) and shown as it says them,
// and the one inspected is edited as mocfedit edits it. Nothing is sent
// anywhere.
"use strict";

const CHUNK = 8 << 20;       // files are copied into the engine in slices
const MAX_BLOCKS = 4000;     // the layout draws this many records at most
const $ = (id) => document.getElementById(id);

let engine = null;
let held = [];               // the files in the engine's memory: {name, pointer, size}
let shown = null;            // what is inspected: {file, listing, descriptions}
let pair = null;             // what is compared: [old, new]

function element(tag, attributes = {}, ...children) {
  const node = document.createElement(tag);
  for (const [name, value] of Object.entries(attributes)) {
    if (name === "class") node.className = value;
    else node.setAttribute(name, value);
  }
  node.append(...children);
  return node;
}

function say(text, isError = false) {
  $("status").textContent = text;
  $("status").classList.toggle("error", isError);
}

// ---- The engine -------------------------------------------------------

function cString(text) {
  const size = engine.lengthBytesUTF8(text) + 1;
  const pointer = engine._malloc(size);
  engine.stringToUTF8(text, pointer, size);
  return pointer;
}

// An answer the engine allocated: parsed, then freed.
function answer(pointer) {
  if (!pointer) throw new Error("out of memory");
  try {
    return JSON.parse(engine.UTF8ToString(pointer));
  } finally {
    engine._free(pointer);
  }
}

// A file's bytes in the engine's memory, the caller's to free.
async function copyIn(file) {
  const pointer = engine._malloc(Math.max(file.size, 1));
  if (!pointer) throw new Error(`${file.name} (${file.size} bytes) does not fit in the page's memory`);
  for (let offset = 0; offset < file.size; offset += CHUNK) {
    const bytes = new Uint8Array(await file.slice(offset, offset + CHUNK).arrayBuffer());
    engine.HEAPU8.set(bytes, pointer + offset);  // HEAPU8 is new after the memory grows
  }
  return { name: file.name, pointer, size: file.size };
}

async function load(file) {
  const loaded = await copyIn(file);
  held.push(loaded);
  return loaded;
}

function release() {
  for (const file of held) engine._free(file.pointer);
  held = [];
  shown = null;
}

function withStrings(texts, call) {
  const pointers = texts.map(cString);
  try {
    return call(...pointers);
  } finally {
    for (const pointer of pointers) engine._free(pointer);
  }
}

function withName(file, call) {
  return withStrings([file.name], call);
}

function inspect(file) {
  return withName(file, (name) => answer(engine._mocfweb_inspect(file.pointer, file.size, name)));
}

function compare(oldFile, newFile) {
  return withName(oldFile, (oldName) => withName(newFile, (newName) =>
    answer(engine._mocfweb_diff(oldFile.pointer, oldFile.size, oldName,
                                newFile.pointer, newFile.size, newName))));
}

// The record as mocfinfo --record writes it, or (content) as --extract does.
function recordBytes(file, number, content = false) {
  const sizePointer = engine._malloc(4);
  try {
    const pointer = engine._mocfweb_record(file.pointer, file.size, number, content, sizePointer);
    const size = engine.HEAPU32[sizePointer >> 2];
    return pointer ? engine.HEAPU8.slice(pointer, pointer + size) : null;
  } finally {
    engine._free(sizePointer);
  }
}

// ---- Inspecting ---------------------------------------------------------

const hex = (value, digits = 0) => value.toString(16).toUpperCase().padStart(digits, "0");
const kindClass = (kind) =>
  ["version", "hash", "compatible products", "user file", "firmware", "menu settings",
   "software keys", "custom defaults"].includes(kind) ? "kind-" + kind.replace(/ /g, "-") : "kind-other";

function showInspection(file) {
  const result = inspect(file);
  if (result.error) throw new Error(result.error);
  const listing = result.listing;
  shown = { file, listing, descriptions: result.descriptions };
  $("file-name").textContent = `${file.name}: ${listing.size} bytes, ${listing.records.length} records`;
  const verdict = $("verdict");
  verdict.textContent = result.verdict;
  verdict.className = listing.valid ? "valid" : "invalid";
  $("stop").hidden = !listing.stop;
  $("stop").textContent = listing.stop ? "the walk stops: " + listing.stop : "";
  // A file that is no MOCF at all has no records, and the verdict says why.
  $("listing").hidden = !listing.records.length;
  // Only a sound MOCF is edited: the engine would refuse any other.
  $("editing").hidden = !listing.valid;
  drawRows(listing.records, result.descriptions);
  drawLayout(listing.records);
  $("details").replaceChildren(element("p", { class: "hint" },
    "Select a record (click it, or move with the arrow keys) to see what it holds."));
  $("inspect").hidden = false;
}

function drawRows(records, descriptions) {
  const rows = records.map((record, i) => {
    const text = descriptions[i] ? `${record.kind} ${descriptions[i]}` : record.kind;
    const row = element("tr", { "data-record": record.index, tabindex: "0", "aria-selected": "false" },
      element("td", { class: "number" }, String(record.index)),
      element("td", { class: "offset" }, "0x" + hex(record.offset)),
      element("td", { class: "tag" }, hex(record.tag, 8)),
      element("td", { class: "length" }, String(record.length)),
      element("td", { class: "record" }, element("span", { class: "swatch " + kindClass(record.kind) }), text),
      element("td", { class: "edit" }, element("button", { type: "button", "data-action": "remove",
        "aria-label": `Remove record ${record.index}`, title: `Remove record ${record.index}` }, "remove")));
    return row;
  });
  $("records").tBodies[0].replaceChildren(...rows);
}

function drawLayout(records) {
  const drawn = records.slice(0, MAX_BLOCKS);
  const blocks = drawn.map((record) => {
    const classes = ["block", kindClass(record.kind)];
    if (record.kind === "hash" && record.read) classes.push(record.digest_ok ? "hash-ok" : "hash-bad");
    const block = element("div", {
      class: classes.join(" "), "data-block": record.index, "aria-selected": "false",
      title: `#${record.index} ${record.kind}, ${record.length} bytes at 0x${hex(record.offset)}` +
        (record.kind === "hash" && record.read ? (record.digest_ok ? ", matches" : ", does not match") : ""),
    }, record.length > 0 ? record.kind : "");
    // Header and value: even an empty record takes room.
    block.style.flexGrow = String(record.length + 8);
    return block;
  });
  $("layout").replaceChildren(...blocks);
  $("layout").hidden = !blocks.length;
  $("layout-note").hidden = records.length <= MAX_BLOCKS;
  $("layout-note").textContent = `The layout shows the first ${MAX_BLOCKS} of ${records.length} records.`;
}

function rowOf(number) { return document.querySelector(`#records tr[data-record="${number}"]`); }
function blockOf(number) { return document.querySelector(`#layout [data-block="${number}"]`); }

function select(number, focus = false) {
  for (const old of document.querySelectorAll('[aria-selected="true"]')) old.setAttribute("aria-selected", "false");
  const row = rowOf(number);
  if (!row) return;
  row.setAttribute("aria-selected", "true");
  blockOf(number)?.setAttribute("aria-selected", "true");
  if (focus) row.focus();
  row.scrollIntoView({ block: "nearest" });
  showDetails(shown.listing.records[number - 1], shown.descriptions[number - 1]);
}

function hover(number, on) {
  rowOf(number)?.classList.toggle("hover", on);
  blockOf(number)?.classList.toggle("hover", on);
}

function facts(pairs) {
  return element("dl", {}, ...pairs.flatMap(([term, value]) => [element("dt", {}, term), element("dd", {}, value)]));
}

// A settings record's items, the first of each KEY=VALUE an input that sets
// it on Enter; its text's last character ends it.
function items(text) {
  const seen = new Set();
  return element("ul", {}, ...text.slice(0, -1).split(";").filter((item) => item.length).map((item) => {
    const key = item.slice(0, item.indexOf("="));
    if (!key || seen.has(key)) return element("li", {}, item);
    seen.add(key);
    return element("li", {}, element("label", {}, key + "=",
      element("input", { "data-setting": key, value: item.slice(key.length + 1), "aria-label": key })));
  }));
}

function kindFacts(record) {
  switch (record.kind) {
    case "version": return [["version", record.version]];
    case "hash": return [["digest", record.digest],
      ["", record.read ? (record.digest_ok ? "matches the records" : "does not match the records") : "not read"]];
    case "compatible products": return [["products", (record.products || []).join(", ")]];
    case "user file": return [["name", record.name ?? "(none)"], ["size", record.size == null ? "(no data)" : `${record.size} bytes`]];
    case "menu settings": case "software keys": case "custom defaults":
      return record.text == null ? [] : [["items", items(record.text)]];
    case "firmware":
      return (record.records || []).map((part) => [part.kind,
        part.products ? part.products.join(", ") : part.text ?? (part.size != null ? `${part.size} bytes` : "")]);
    default: return [];
  }
}

function showDetails(record, description) {
  const save = element("button", { type: "button", id: "save" }, `Save record ${record.index}`);
  save.addEventListener("click", () => saveRecord(record.index));
  let saveFile = "";
  if (record.kind === "user file" && record.name && record.size != null) {
    saveFile = element("button", { type: "button", id: "save-file" }, `Save the file ${record.name}`);
    saveFile.addEventListener("click", () => saveUserFile(record));
  }
  $("details").dataset.record = record.index;  // the record its settings set
  $("details").replaceChildren(
    element("h3", {}, `#${record.index} ${record.kind}`),
    facts([["offset", `0x${hex(record.offset)} (${record.offset})`], ["tag", `0x${hex(record.tag, 8)}`],
      ["length", `${record.length} bytes`], ...kindFacts(record)]),
    description ? element("p", { class: "mono" }, description) : "",
    save, " ", saveFile);
}

function download(bytes, name) {
  const link = element("a", { href: URL.createObjectURL(new Blob([bytes])), download: name });
  link.click();
  setTimeout(() => URL.revokeObjectURL(link.href), 60000);
}

function saveRecord(number) {
  const bytes = recordBytes(shown.file, number);
  if (!bytes) return say(`Record ${number} cannot be saved.`, true);
  download(bytes, `${shown.file.name.replace(/\.[^.]*$/, "")}-record-${number}.obj`);
  say(`Saved record ${number} (${bytes.length} bytes), as mocfinfo --record ${number} writes it.`);
}

function saveUserFile(record) {
  const bytes = recordBytes(shown.file, record.index, true);
  if (!bytes) return say(`The file of record ${record.index} cannot be saved.`, true);
  download(bytes, record.name);
  say(`Saved ${record.name} (${bytes.length} bytes), as mocfinfo --extract ${record.index} writes it.`);
}

// ---- Editing ------------------------------------------------------------

// One edit of the file inspected, made and checked by the engine as mocfedit
// makes it: call(file, name) answers its new bytes, which the page then
// shows and saves; a refusal leaves the file as it was, and says why.
function edit(what, call, then = () => {}) {
  const file = shown.file;
  let result;
  try {
    result = withName(file, (name) => answer(call(file, name)));
  } catch (error) {
    result = { error: String(error.message || error) };
  }
  if (result.error) {
    $("verdict").textContent = `Refused: ${result.error.trim()}\n${file.name} is as it was.`;
    $("verdict").className = "invalid";
    say(`${what} was refused; "Save the edited MOCF" still saves the MOCF before it.`, true);
    return;
  }
  release();
  pair = null;
  $("compare").hidden = true;
  held.push({ name: file.name, pointer: result.pointer, size: result.size });
  showInspection(held[0]);
  then();
  say(`${what}: ${file.name} now has ${shown.listing.records.length} records; "Save the edited MOCF" saves it.`);
}

function removeRecord(number) {
  edit(`Removing record ${number}`, (file, name) => withStrings([String(number)],
    (selector) => engine._mocfweb_remove(file.pointer, file.size, name, selector)));
}

async function addUserFile(chosen) {
  const data = await copyIn(chosen);
  try {
    edit(`Adding ${chosen.name}`, (file, name) => withStrings([chosen.name], (fileName) =>
      engine._mocfweb_add_user(file.pointer, file.size, name, fileName, data.pointer, data.size)),
    () => select(shown.listing.records.length));
  } finally {
    engine._free(data.pointer);
  }
}

function setSetting(number, key, value) {
  edit(`Setting ${key}=${value} in record ${number}`, (file, name) =>
    withStrings([String(number), key, value], (selector, keyText, valueText) =>
      engine._mocfweb_set(file.pointer, file.size, name, selector, keyText, valueText)),
  () => {
    select(number);
    document.querySelector(`#details [data-setting="${CSS.escape(key)}"]`)?.focus();
  });
}

function saveMocf() {
  const file = shown.file;
  download(engine.HEAPU8.slice(file.pointer, file.pointer + file.size), file.name);
  say(`Saved ${file.name} (${file.size} bytes).`);
}

// ---- Comparing --------------------------------------------------------------

function showComparison(oldFile, newFile) {
  const result = compare(oldFile, newFile);
  if (result.error) throw new Error(result.error);
  // The text has a summary line, then each change's lines, its details indented.
  const lines = result.text.replace(/\n$/, "").split("\n");
  const blocks = [];
  for (const line of lines.slice(1)) {
    if (/^\s/.test(line) && blocks.length) blocks[blocks.length - 1].push(line);
    else blocks.push([line]);
  }
  $("diff-summary").textContent = lines[0];
  $("diff").replaceChildren(...result.diff.changes.map((change, i) =>
    element("li", { "data-change": change.change }, element("pre", {}, (blocks[i] || []).join("\n")))));
  $("compare").hidden = false;
}

// ---- Choosing files -------------------------------------------------------

function showPair(oldFile, newFile) {
  pair = [oldFile, newFile];
  showComparison(oldFile, newFile);
  showInspection(newFile);
  say(`Compared ${oldFile.name} (old) with ${newFile.name} (new); below, the new one.`);
}

async function open(files) {
  if (!files.length || !engine) return;
  release();
  pair = null;
  $("inspect").hidden = true;
  $("compare").hidden = true;
  say(`Reading ${files.length === 1 ? files[0].name : files.length + " files"}...`);
  try {
    if (files.length > 2) throw new Error("Choose one file to inspect, or two to compare.");
    const loaded = [];
    for (const file of files) loaded.push(await load(file));
    await new Promise((resolve) => setTimeout(resolve));  // let the status show
    if (loaded.length === 2) showPair(loaded[0], loaded[1]);
    else {
      showInspection(loaded[0]);
      say(`Inspected ${loaded[0].name}.`);
    }
  } catch (error) {
    say(String(error.message || error), true);
  }
  done();
}

// For whoever waits on the page (its tests): how many choices are done.
function done() {
  document.body.dataset.opened = String(Number(document.body.dataset.opened || 0) + 1);
}

function listen() {
  $("files").addEventListener("change", (event) => {
    const files = [...event.target.files];
    // Else choosing the same file again, after it changed on disk, would fire no change.
    event.target.value = "";
    open(files);
  });
  $("swap").addEventListener("click", () => {
    try {
      showPair(pair[1], pair[0]);
    } catch (error) {
      say(String(error.message || error), true);
    }
    done();
  });
  document.addEventListener("dragover", (event) => {
    event.preventDefault();
    if (engine) document.body.classList.add("dropping");
    else event.dataTransfer.dropEffect = "none";
  });
  document.addEventListener("dragleave", () => document.body.classList.remove("dropping"));
  document.addEventListener("drop", (event) => {
    event.preventDefault();
    document.body.classList.remove("dropping");
    open([...event.dataTransfer.files]);
  });
  $("add-user-file").addEventListener("change", async (event) => {
    const [file] = event.target.files;
    event.target.value = "";
    if (!file || !shown) return;
    try {
      await addUserFile(file);
    } catch (error) {
      say(String(error.message || error), true);
    }
    done();
  });
  $("download").addEventListener("click", saveMocf);
  $("details").addEventListener("keydown", (event) => {
    const setting = event.target.closest("[data-setting]");
    if (event.key !== "Enter" || !setting) return;
    event.preventDefault();
    setSetting(Number($("details").dataset.record), setting.dataset.setting, setting.value);
    done();
  });
  const records = $("records").tBodies[0];
  const numberOf = (event) => {
    const target = event.target.closest("[data-record],[data-block]");
    return target ? Number(target.dataset.record ?? target.dataset.block) : 0;
  };
  records.addEventListener("click", (event) => {
    if (!numberOf(event)) return;
    if (!event.target.closest("[data-action=remove]")) return select(numberOf(event));
    removeRecord(numberOf(event));
    done();
  });
  records.addEventListener("keydown", (event) => {
    const number = numberOf(event);
    if (event.target.closest("button")) return;  // its own keys press it
    const step = { ArrowDown: 1, ArrowUp: -1, Home: -Infinity, End: Infinity }[event.key];
    if (event.key === "Enter" || event.key === " ") select(number);
    else if (step !== undefined) {
      const count = shown.listing.records.length;
      select(Math.min(count, Math.max(1, number + step)), true);
    } else return;
    event.preventDefault();
  });
  for (const area of [records, $("layout")]) {
    area.addEventListener("mouseover", (event) => numberOf(event) && hover(numberOf(event), true));
    area.addEventListener("mouseout", (event) => numberOf(event) && hover(numberOf(event), false));
  }
  $("layout").addEventListener("click", (event) => numberOf(event) && select(numberOf(event)));
}

listen();
say("Loading the engine...");
new Promise((resolve) => {
  if (typeof createMocfEngine !== "function") throw new Error("its script mocfweb.js is missing");
  resolve(createMocfEngine());
}).then((module) => {
  engine = module;
  $("files").disabled = false;
  document.body.dataset.ready = "true";
  say("Ready: choose or drop a MOCF.");
}, (error) => {
  // Without the engine nothing can be read: the chooser stays off, and a drop does nothing.
  $("swap").disabled = true;
  document.body.dataset.ready = "false";
  // Only the site's page fetches its engine; the one-file page carries it.
  const fetches = location.protocol === "file:" && document.querySelector('script[src="mocfweb.js"]');
  const fromDisk = fetches ? " Opened from disk, this page needs a server;" +
    " mocf-inspector.html, the one-file page, is the one that opens from disk." : "";
  say(`The engine did not load (${error.message || error}), so this page cannot read files.${fromDisk}`, true);
});
