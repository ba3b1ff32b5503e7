// The head-end page's console, line monitor and support bundle, on the demo head-end.
import fs from "node:fs";
import { createRequire } from "node:module";
import path from "node:path";
import { after, before, test } from "node:test";
import assert from "node:assert/strict";
import { shots, site } from "./harness.mjs";

const { strFromU8, unzipSync } = createRequire(new URL("../../cockpit/package.json", import.meta.url))("fflate");
// A line of orvex-cli --trace.
const TRACE_LINE = /^\d\d:\d\d:\d\d\.\d{3} (?:[<>] (?:[0-9A-F]{2} )*[0-9A-F]{2} \|.*\||# .*)$/;
// A reset, or the special mode that reads an EEPROM image and ends with one.
const RESTARTS = /> 21 (?:37|26) 0D \|/;

let s, page, ui;

before(async () => {
    s = await site();
    if (s.browser)
        ({ page, ui } = await s.shell());
});

after(async () => s?.end());

async function downloaded(click) {
    const [file] = await Promise.all([page.waitForEvent("download"), click()]);
    return { name: file.suggestedFilename(), bytes: fs.readFileSync(await file.path()) };
}

// The part in sight at both widths, with no sideways scroll of the page.
async function shoot(name, part) {
    for (const width of [1366, 360]) {
        await page.setViewportSize({ width, height: 900 });
        assert.equal(await ui.evaluate(() => document.documentElement.scrollWidth <= innerWidth), true,
                     `${name} at ${width} px scrolls sideways`);
        await ui.locator(part).scrollIntoViewIfNeeded();
        await page.screenshot({ path: path.join(shots, `${name}-${width}.png`) });
    }
    await page.setViewportSize({ width: 1366, height: 900 });
}

test("the NC-100's console: its prompt, a typed command's answer, the line back when closed", async t => {
    if (!s.browser)
        return t.skip("Chromium cannot start");
    await ui.locator('[data-module="1/9"] button').click();
    await ui.getByRole("button", { name: "Console", exact: true }).click();
    const screen = ui.locator(".console-screen .xterm-rows");
    await screen.filter({ hasText: "nc100>" }).waitFor();
    // The keys go to the module one per SYN; the module answers them.
    await page.keyboard.type("status");
    await page.keyboard.press("Enter");
    await screen.filter({ hasText: "NTP last sync" }).waitFor();
    // xterm's styles reach the page despite Cockpit's policy: its cells are laid out.
    const row = await screen.locator("div").first().boundingBox();
    assert.ok(row.height > 10 && row.height < 30, `a console row is ${row.height} px high`);
    await shoot("console", ".console");
    await ui.getByRole("button", { name: "Close console" }).click();
    await ui.locator(".console").waitFor({ state: "hidden" });
    await ui.locator(".status-line", { hasText: "Console of module 1/9 closed" }).waitFor();
    assert.equal(await ui.evaluate(() => document.activeElement.textContent), "Console");
    // The line is the agent's again: a scan from the page runs.
    await ui.getByRole("button", { name: "Scan" }).click();
    await ui.locator(".status-line", { hasText: "12 Modules found" }).waitFor();
});

test("the line monitor: a show's frames with their meaning, the filters, pause, Save trace", async t => {
    if (!s.browser)
        return t.skip("Chromium cannot start");
    await ui.locator(".line-monitor summary").click();
    await ui.getByLabel("Module", { exact: true }).selectOption("1/1");
    const rows = ui.locator(".line-monitor tbody tr");
    assert.equal((await s.cli("show", "1/1")).status, 0);
    // Another client's frames show too, named.
    const select = rows.filter({ has: ui.locator("td:nth-child(4)", { hasText: /^select 1\/1$/ }) }).last();
    await select.waitFor();
    const selectBytes = await select.locator("td").nth(2).textContent();
    const meanings = await rows.locator("td:nth-child(4)").allTextContents();
    assert.ok(meanings.some(m => /^read /.test(m)), meanings.join(" | "));
    assert.ok(meanings.every(m => m !== ""), "every row has its meaning");
    await ui.getByLabel("Selects").uncheck();
    const unselected = await rows.locator("td:nth-child(4)").allTextContents();
    assert.ok(unselected.length > 0 && !unselected.includes("select 1/1"), unselected.join(" | "));
    await ui.getByLabel("Selects").check();
    // Paused: the page's own show of 1/1 adds no row (its frames reach the page before its answer).
    await ui.getByRole("button", { name: "Pause" }).click();
    const paused = await rows.count();
    await ui.locator('[data-module="1/1"] button').click();
    await ui.getByRole("heading", { name: /^Module 1\/1:/ }).waitFor();
    assert.equal(await rows.count(), paused);
    await ui.getByRole("button", { name: "Pause" }).click();
    assert.ok(await rows.count() > paused, "the frames kept while paused show when it is released");
    await shoot("line-monitor", ".line-monitor .frames");
    const trace = await downloaded(() => ui.getByRole("button", { name: "Save trace" }).click());
    assert.match(trace.name, /^trace-demo-\d{8}-\d{6}\.txt$/);
    const lines = trace.bytes.toString("utf8").trimEnd().split("\n");
    assert.deepEqual(lines.filter(line => !TRACE_LINE.test(line)), []);
    assert.ok(lines.some(line => line.includes(`> ${selectBytes} |`)), `no select 1/1 (${selectBytes})`);
});

test("the support bundle: log, trace, configuration and 1/3's report, no module restarted", async t => {
    if (!s.browser)
        return t.skip("Chromium cannot start");
    await ui.getByLabel("Module", { exact: true }).selectOption("");
    const two = n => String(n).padStart(2, "0");
    const now = new Date();
    const begun = `${two(now.getHours())}:${two(now.getMinutes())}:${two(now.getSeconds())}`;
    const begunMs = ((now.getHours() * 60 + now.getMinutes()) * 60 + now.getSeconds()) * 1000;
    const bundle = await downloaded(() => ui.getByRole("button", { name: "Support bundle" }).click());
    assert.match(bundle.name, /^support-demo-\d{8}-\d{6}\.zip$/);
    const files = Object.fromEntries(Object.entries(unzipSync(bundle.bytes)).map(([name, bytes]) => [name, strFromU8(bytes)]));
    const names = Object.keys(files);
    assert.deepEqual(names.filter(name => !name.startsWith("configuration/")).sort(),
                     ["README.txt", "diag-1-3.txt", "message-log.txt", "trace.txt"]);
    const log = files["message-log.txt"];
    assert.match(log, /^ORVEX Link message log\nDate: .+\nSite: demo\nPort: \/dev\/pts\/\d+\nVersion: agent \S+\n/);
    assert.match(log, /Console of module 1\/9 closed/);
    const [config] = names.filter(name => /^configuration\/headend-\d{8}-\d{6}\.mmh$/.test(name));
    assert.ok(config, names.join(", "));
    assert.match(files["diag-1-3.txt"], /^Module #3  RX-S2 .*\nDiagnostic Bytes:\n   #0  0000 0101\n/s);
    const trace = files["trace.txt"].trimEnd().split("\n");
    assert.deepEqual(trace.filter(line => !TRACE_LINE.test(line)), []);
    assert.deepEqual(trace.filter(line => RESTARTS.test(line)), []);
    // The bundle's own reads are in its trace.
    assert.ok(trace.some(line => line.slice(0, 8) >= begun), `nothing since ${begun}`);
    const monitor = await ui.locator(".line-monitor tbody td:nth-child(4)").allTextContents();
    assert.ok(!monitor.some(m => /reset|special mode/.test(m)), "a module was restarted");
    // What the modules took meanwhile: 1/3's report read, no reset, no special mode.
    const took = s.commands().filter(c => c.ms >= begunMs);
    assert.ok(took.some(c => c.module === "1/3"), "1/3 was not read");
    assert.deepEqual(took.filter(c => "7&".includes(String.fromCharCode(c.bytes[0]))), []);
    // It says which images it leaves out.
    assert.match(files["README.txt"], /Images not in this bundle: 1\/9, 2\/3\n/);
    assert.equal(await ui.locator(".message-log li", { hasText: "Support bundle: the configuration" }).count(), 1);
    await shoot("support-bundle", ".bundle");
});
