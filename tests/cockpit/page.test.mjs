// The head-end page: Cockpit's menu, the scan, a panel's writes and a user without rights.
import path from "node:path";
import { after, before, test } from "node:test";
import assert from "node:assert/strict";
import { contrast, DEMO, shots, site } from "./harness.mjs";

let s, page, ui;

before(async () => {
    s = await site(["--ignore-writes", "1/2"]);
    if (s.browser)
        ({ page, ui } = await s.shell());
});

after(async () => s?.end());

test("Cockpit's menu opens the page, with a tab for the line", async t => {
    if (!s.browser)
        return t.skip("Chromium cannot start");
    assert.equal(page.url(), s.base.replace(/cockpit\/@localhost$/, "orvex"));
    await ui.getByRole("tab", { name: "demo" }).waitFor();
    await ui.getByText(/^Line .*, you are root/).waitFor();
    // The head-end as the agent saw it, before any scan here.
    await ui.locator('[data-module="1/3"]', { hasText: "RX-S2FAULT" }).waitFor();
    // Reachable by keyboard: from the line's tab to Scan, then to the first module.
    await ui.getByRole("tab", { name: "demo" }).focus();
    for (const next of ["Scan", "1QM4-COK"]) {
        await page.keyboard.press("Tab");
        assert.equal(await ui.evaluate(() => document.activeElement.textContent), next);
    }
});

test("a scan shows the demo head-end's modules, their state and the scan's words", async t => {
    if (!s.browser)
        return t.skip("Chromium cannot start");
    const scan = ui.getByRole("button", { name: "Scan" });
    await scan.click();
    // The progress bar moves while the agent scans; Scan waits meanwhile.
    await ui.waitForFunction(() => {
        const bar = document.querySelector("progress");
        return !bar.hidden && bar.value > 0;
    });
    assert.equal(await scan.isDisabled(), true);
    await ui.locator(".status-line", { hasText: "12 Modules found" }).waitFor();
    const slots = await ui.locator(".slot").evaluateAll(all => all.map(slot => ({
        module: slot.dataset.module, type: slot.querySelector(".type").textContent,
        button: !slot.querySelector("button").disabled,
        cue: slot.querySelector(".cue").textContent, colour: getComputedStyle(slot.querySelector(".type")).color,
        back: getComputedStyle(slot).backgroundColor,
    })));
    assert.equal(slots.length, 32);
    const found = slots.filter(s => s.type !== "-");
    assert.deepEqual(Object.fromEntries(found.map(s => [s.module, s.type])), DEMO);
    assert.ok(slots.every(s => s.button === (s.type !== "-")), "a slot's button is there for a module only");
    for (const slot of found) {
        assert.equal(slot.cue, slot.module === "1/3" ? "FAULT" : "OK", slot.module);
        assert.equal(slot.colour, slot.module === "1/3" ? "rgb(192, 0, 0)" : "rgb(0, 128, 0)", slot.module);
        assert.ok(contrast(slot.colour, slot.back) >= 4.5, `${slot.module}: contrast ${contrast(slot.colour, slot.back)}`);
    }
    assert.equal(await ui.locator("progress").isHidden(), true);
    assert.equal(await scan.isEnabled(), true);
    const log = await ui.locator(".log").textContent();
    for (const said of ["Group#1 Module #1: Scaning", "Module #3:loading diagnostic", "Group#2 Module #16: Scaning"])
        assert.ok(log.includes(said), said);
});

test("a slot opens its panel; a list is written at once, a refused write shows red", async t => {
    if (!s.browser)
        return t.skip("Chromium cannot start");
    await ui.locator('[data-module="1/1"] button').click();
    await ui.locator(".status-line", { hasText: "Module #1 selected" }).waitFor();
    assert.equal(await ui.locator(".panel h2").textContent(), "Module 1/1: QM4-C V3.12");
    assert.equal(await ui.getByLabel("Symbol rate MS/s", { exact: true }).inputValue(), "6.900");
    assert.equal(await ui.getByLabel("Output level dBuV", { exact: true }).textContent(), "95.0");
    const constellation = ui.getByLabel("Constellation", { exact: true });
    assert.equal(await constellation.inputValue(), "4");
    await constellation.selectOption("64-QAM");
    await ui.locator(".log li", { hasText: "Module 1/1 parameter 2 (Constellation): 2 written" }).waitFor({ state: "attached" });
    assert.equal(await s.raw("1/1", 2), 2);
    assert.equal(await ui.getByLabel("Constellation", { exact: true }).evaluate(list => list.className), "");
    // A typed number goes with Enter, as the engine reads it; one out of range is refused.
    const frequency = ui.getByLabel("Output frequency MHz", { exact: true });
    await frequency.fill("475.5");
    await frequency.press("Enter");
    await ui.locator(".log li", { hasText: "3428 written; it holds 3428 (475.500 MHz)" }).waitFor({ state: "attached" });
    await ui.getByLabel("Output frequency MHz", { exact: true }).fill("999");
    await ui.getByLabel("Output frequency MHz", { exact: true }).press("Enter");
    await ui.locator("input.refused").waitFor();
    assert.equal(await ui.locator("input.refused").inputValue(), "475.500");
    const log = await ui.locator(".log").textContent();
    for (const said of ["set 1/1 1 --shown 475.5 by root", "must be between 47 and 883 MHz"])
        assert.ok(log.includes(said), said);
    // A spin box: each step written at once, the commit after the last.
    for (let n = 0; n < 3; n++)
        await ui.getByRole("button", { name: "Output level dBuV up" }).click();
    await ui.locator(".log li", { hasText: "commit 1/1 by root" }).waitFor({ state: "attached" });
    assert.equal(await ui.getByLabel("Output level dBuV", { exact: true }).textContent(), "96.5");
    // On the line: three writes of parameter 5 to 1/1, then one commit 500 ms after the last.
    const took = s.commands("1/1").filter(c => "56".includes(String.fromCharCode(c.bytes[0])));
    const spins = took.slice(-4);
    assert.deepEqual(spins.map(c => c.bytes.toString("latin1").replace(/\n.*/s, "")), ["55", "55", "55", "6"]);
    assert.ok(spins[3].ms - spins[2].ms >= 500, `committed ${spins[3].ms - spins[2].ms} ms after the last step`);
    assert.equal(await s.raw("1/1", 5), 33);
    // Another client's change shows on the open panel.
    await s.cli("set", "1/1", "2", "0");
    await ui.locator("select", { has: ui.locator("option:checked", { hasText: "16-QAM" }) }).waitFor();

    await ui.locator('[data-module="1/2"] button').click();
    await ui.locator(".panel h2", { hasText: "Module 1/2" }).waitFor();
    await ui.getByLabel("Mode", { exact: true }).selectOption("DVB-S2");
    const mode = ui.locator("select.refused");
    await mode.waitFor();
    assert.equal(await mode.evaluate(list => list.options[list.selectedIndex].text), "Auto");
    assert.equal(await mode.evaluate(list => getComputedStyle(list).color), "rgb(192, 0, 0)");
    assert.equal(await ui.evaluate(() => document.activeElement.id), await mode.getAttribute("id"));

    await ui.getByText("Message log").press("Enter");
    // The shell scrolls nothing itself: the pictures are as tall as the page.
    await page.setViewportSize({ width: 1366, height: 1200 });
    await page.screenshot({ path: path.join(shots, "page-1366.png") });
    await page.setViewportSize({ width: 360, height: 2000 });
    assert.ok(await ui.evaluate(() => document.documentElement.scrollWidth <= innerWidth), "wider than a phone");
    await page.screenshot({ path: path.join(shots, "page-360.png") });
});

test("two browsers on one head-end see each other's changes", async t => {
    if (!s.browser)
        return t.skip("Chromium cannot start");
    const other = await s.shell();
    await other.ui.locator('[data-module="1/1"] button').click();
    await other.ui.locator(".panel h2", { hasText: "Module 1/1" }).waitFor();
    await ui.locator('[data-module="1/1"] button').click();
    await ui.locator(".panel h2", { hasText: "Module 1/1" }).waitFor();
    await ui.getByLabel("Constellation", { exact: true }).selectOption("256-QAM");
    const written = Date.now();
    await other.ui.locator("select", { has: other.ui.locator("option:checked", { hasText: "256-QAM" }) }).waitFor();
    console.log(`# the other browser showed the change ${Date.now() - written} ms after it was written`);
    // And back: the first page follows the second one's spin step.
    await other.ui.getByRole("button", { name: "Output level dBuV down" }).click();
    await ui.getByLabel("Output level dBuV", { exact: true }).filter({ hasText: "96.0" }).waitFor();
    await other.page.close();
});

test("a user outside the group orvex is told why the line cannot be reached", async t => {
    if (!s.browser)
        return t.skip("Chromium cannot start");
    const denied = await s.cockpit("nobody");
    const page = await s.open(`${denied}/orvex/index.html`, 360);
    const problem = page.getByRole("alert");
    await problem.waitFor();
    assert.match(await problem.textContent(), /demo\.sock: Permission denied: .*group orvex.*adduser nobody orvex/);
    assert.equal(await page.getByRole("button", { name: "Scan" }).isVisible(), false);
    await page.screenshot({ path: path.join(shots, "page-denied-360.png"), fullPage: true });
    await page.close();
});
