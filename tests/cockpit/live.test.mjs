// The panel's live values with their trend, the diagnostic report, and "Reset module" and
// "Default params" asked first, on a head-end whose measured numbers move with every read.
import path from "node:path";
import { after, before, test } from "node:test";
import assert from "node:assert/strict";
import { shots, site } from "./harness.mjs";

let s, page, ui;

before(async () => {
    s = await site(["--wander"]);
    if (s.browser)
        ({ page, ui } = await s.shell());
});

after(async () => s?.end());

async function open(frame, module) {
    await frame.locator(`[data-module="${module}"] button:enabled`).click();
    await frame.locator(".panel h2", { hasText: `Module ${module}:` }).waitFor();
}

// min and max of the trend beside the value labelled caption.
async function range(frame, caption) {
    const text = await frame.locator(".cell", { has: frame.getByLabel(caption, { exact: true }) })
        .locator(".range").textContent();
    const [, min, max] = text.match(/^min (\S+)  max (\S+) \(30 min\)$/);
    return [Number(min), Number(max)];
}

// Resolves once the value labelled caption has been shown n times anew.
function changes(frame, caption, n) {
    return frame.getByLabel(caption, { exact: true }).evaluate((output, n) => new Promise(resolve => {
        let seen = 0;
        new MutationObserver((_, observer) => {
            if (++seen === n)
                observer.disconnect(), resolve();
        }).observe(output, { childList: true, characterData: true, subtree: true });
    }), n);
}

test("a panel's measured values follow the module, each with its lowest and highest of 30 minutes", async t => {
    if (!s.browser)
        return t.skip("Chromium cannot start");
    const volts = "Output 24 V V";
    await open(ui, "2/5");
    await changes(ui, volts, 2);
    await ui.waitForFunction(() => [...document.querySelectorAll(".range")].every(r => /min (\S+)  max (?!\1 )/.test(r.textContent)));
    const [min, max] = await range(ui, volts);
    const now = Number(await ui.getByLabel(volts, { exact: true }).textContent());
    assert.ok(min < max && min <= now && now <= max, `${now} in ${min} .. ${max}`);
    assert.equal(await ui.locator(".trend path").count(), 3);
    assert.doesNotMatch(await ui.locator(".log").textContent(), / by root/, "a read is no change");

    // A page opened later, out of sight: the trend the agent kept, and no read of its own.
    const other = await s.shell();
    await other.ui.evaluate(() => Object.defineProperty(document, "visibilityState", { value: "hidden" }));
    await open(other.ui, "2/5");
    await other.ui.locator(".range").first().waitFor();
    const [laterMin, laterMax] = await range(other.ui, volts);
    assert.ok(laterMin <= min && laterMax >= max, `${laterMin} .. ${laterMax} holds ${min} .. ${max}`);
    const unread = other.ui.getByLabel(volts, { exact: true }).evaluate(output => new Promise((resolve, reject) => {
        new MutationObserver(() => reject(new Error("read while hidden"))).observe(output, { childList: true, subtree: true });
        window.hiddenLongEnough = resolve;
    }));
    // Three reads of the first page take longer than the second one's interval.
    await changes(ui, volts, 3);
    await other.ui.evaluate(() => window.hiddenLongEnough());
    await unread;
    await other.page.close();

    await page.setViewportSize({ width: 1366, height: 1000 });
    await page.screenshot({ path: path.join(shots, "live-1366.png") });
    await page.setViewportSize({ width: 360, height: 1600 });
    assert.ok(await ui.evaluate(() => document.documentElement.scrollWidth <= innerWidth), "wider than a phone");
    await page.screenshot({ path: path.join(shots, "live-360.png") });
});

test("Diag shows the module's diagnostic report with its fault, readable on a phone", async t => {
    if (!s.browser)
        return t.skip("Chromium cannot start");
    await open(ui, "1/3");
    const diag = ui.getByRole("button", { name: "Diag" });
    await diag.click();
    const report = ui.getByRole("dialog", { name: "Module 1/3 diagnostic" });
    await report.waitFor();
    const text = await report.locator("pre").textContent();
    for (const said of ["Module #3  RX-S2  Vers. V2.07", "No input signal", "Demodulator not locked"])
        assert.ok(text.includes(said), said);
    const state = report.locator(".cue");
    assert.equal(await state.textContent(), "FAULT");
    assert.equal(await state.evaluate(cue => getComputedStyle(cue).color), "rgb(192, 0, 0)");
    assert.ok(await report.evaluate(dialog => dialog.contains(document.activeElement)), "focus in the report");
    const box = await report.boundingBox();
    assert.ok(box.x >= 0 && box.x + box.width <= 360, `the report within the phone: ${JSON.stringify(box)}`);
    await page.screenshot({ path: path.join(shots, "diag-360.png") });
    await page.keyboard.press("Escape");
    await report.waitFor({ state: "hidden" });
    assert.equal(await ui.evaluate(() => document.activeElement.textContent), "Diag");
});

test("Reset module and Default params ask first, naming the module; Cancel sends nothing", async t => {
    if (!s.browser)
        return t.skip("Chromium cannot start");
    await open(ui, "1/1");
    const constellation = ui.getByLabel("Constellation", { exact: true });
    await s.cli("set", "1/1", "2", "0");
    await ui.locator("select", { has: ui.locator("option:checked", { hasText: "16-QAM" }) }).waitFor();

    const asked = ui.getByRole("dialog");
    await ui.getByRole("button", { name: "Reset module" }).click();
    await ui.getByRole("dialog", { name: "Reset module 1/1 (QM4-C)?" }).waitFor();
    assert.equal(await asked.locator(".question + p").textContent(), "It restarts and its service drops for a moment.");
    assert.equal(await ui.evaluate(() => document.activeElement.textContent), "Cancel");
    await page.screenshot({ path: path.join(shots, "reset-360.png") });
    await page.keyboard.press("Enter");
    await asked.waitFor({ state: "hidden" });
    assert.equal(await ui.evaluate(() => document.activeElement.textContent), "Reset module");

    await ui.getByRole("button", { name: "Default params" }).click();
    assert.equal(await asked.locator(".question").textContent(), "Load the defaults into module 1/1 (QM4-C)?");
    assert.equal(await asked.locator(".question + p").textContent(), "Its settings are replaced by the module's defaults.");
    await asked.getByRole("button", { name: "OK" }).click();
    await ui.locator(".log li", { hasText: "Module 1/1 (QM4-C): defaults loaded." }).waitFor({ state: "attached" });
    // The panel read again shows what the defaults put there.
    await ui.locator("select", { has: ui.locator("option:checked", { hasText: "256-QAM" }) }).waitFor();
    assert.equal(await constellation.inputValue(), "4");
    assert.equal(await s.raw("1/1", 2), 4);

    await ui.getByRole("button", { name: "Reset module" }).click();
    await asked.getByRole("button", { name: "OK" }).click();
    await ui.locator(".log li", { hasText: "Module 1/1 reset." }).waitFor({ state: "attached" });
    // What the agent did, in its order: the cancelled reset is not among it.
    const log = await ui.locator(".log").textContent();
    const done = [...log.matchAll(/(reset|defaults) 1\/1 by root \(uid 0\): exit status 0/g)].map(m => m[1]);
    assert.deepEqual(done, ["defaults", "reset"]);
    await ui.locator(".panel h2", { hasText: "Module 1/1:" }).waitFor();
    assert.equal(await ui.evaluate(() => document.activeElement.textContent), "Reset module");
});
