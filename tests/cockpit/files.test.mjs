// The page's "File" commands: a save as a download, a load that shows what it rewrites
// before it asks, and a comparison whose ticked rows alone are restored.
import path from "node:path";
import { after, before, test } from "node:test";
import assert from "node:assert/strict";
import { shots, site } from "./harness.mjs";

let s, page, ui;

before(async () => {
    s = await site();
    if (s.browser) {
        ({ page, ui } = await s.shell());
        await ui.locator('[data-module="1/9"]', { hasText: "NC-100OK" }).waitFor();
    }
});

after(async () => s?.end());

const today = () => new Date().toLocaleDateString("sv"); // YYYY-MM-DD, local as the page's

// The file dialog of `button` given `file`.
async function pick(button, file) {
    const [chooser] = await Promise.all([page.waitForEvent("filechooser"), ui.getByRole("button", { name: button }).click()]);
    await chooser.setFiles(file);
    return ui.getByRole("dialog");
}

// The head-end's configuration saved by orvex-cli, then values changed on the head-end.
async function differing(name, changes) {
    const file = path.join(s.work, name);
    assert.equal((await s.cli("save-config", file)).status, 0);
    for (const words of changes)
        assert.equal((await s.cli("set", ...words)).status, 0, words.join(" "));
    return file;
}

// What the modules took since the sim's log had `from` lines, as "1/6 5": "5" a write, "6" a
// commit, "7" a reset (a restart), "&" the special mode.
const changes = from => s.commands().slice(from).map(c => `${c.module} ${String.fromCharCode(c.bytes[0])}`)
    .filter(c => "567&".includes(c.at(-1)));
const modulesThat = (from, command) => [...new Set(changes(from).filter(c => c.endsWith(command)).map(c => c.split(" ")[0]))];

const rowTexts = dialog => dialog.locator("tbody tr").evaluateAll(rows => rows.map(r => r.innerText.replace(/\s+/g, " ").trim()));

test("Save Config names the modules that restart, then downloads a file the engine finds equal", async t => {
    if (!s.browser)
        return t.skip("Chromium cannot start");
    const day = today();
    const before = s.commands().length;
    const question = ui.getByRole("dialog", { name: "Image modules restart" });
    await ui.getByRole("button", { name: "Save Config" }).click();
    await question.getByRole("button", { name: "Cancel" }).click();
    await question.waitFor({ state: "hidden" });
    assert.deepEqual(changes(before), [], "nothing read nor restarted");
    await ui.getByRole("button", { name: "Save Config" }).click();
    assert.match(await question.textContent(), /EEPROM images of 1\/9 NC-100, 2\/3 RPR-4: each of these modules restarts/);
    const [download] = await Promise.all([page.waitForEvent("download"), question.getByRole("button", { name: "Save" }).click()]);
    assert.ok([day, today()].some(d => download.suggestedFilename() === `demo-headend-${d}.mmh`),
              download.suggestedFilename());
    const file = path.join(s.work, download.suggestedFilename());
    await download.saveAs(file);
    await ui.locator(".log li", { hasText: `Saved ${download.suggestedFilename()}: 12 modules` }).waitFor({ state: "attached" });
    assert.deepEqual(modulesThat(before, "7"), ["1/9", "2/3"], "the modules restarted");
    const diff = await s.cli("--images", "diff", file);
    assert.equal(diff.status, 0, diff.out);
    assert.match(diff.out, /^No differences\.$/m);

    // A module (a faulty one too): its address and type in the name; a parameter module
    // restarts nothing, so no question.
    for (const [module, name] of [["1/1", "demo-1-1-QM4-C"], ["1/3", "demo-1-3-RX-S2"]]) {
        await ui.locator(`[data-module="${module}"] button`).click();
        await ui.locator(".panel h2", { hasText: `Module ${module}` }).waitFor();
        const [one] = await Promise.all([page.waitForEvent("download"), ui.getByRole("button", { name: "Save Module" }).click()]);
        assert.match(one.suggestedFilename(), new RegExp(`^${name}-\\d{4}-\\d{2}-\\d{2}\\.mst$`));
        await one.saveAs(path.join(s.work, one.suggestedFilename()));
        assert.equal((await s.cli("diff", module, path.join(s.work, one.suggestedFilename()))).status, 0, module);
    }
});

test("Load Config shows what it rewrites and restarts; Cancel writes nothing, OK loads only those", async t => {
    if (!s.browser)
        return t.skip("Chromium cannot start");
    const file = await differing("load.mmh", [["1/6", "0", "25"], ["1/1", "2", "0"]]);
    const before = s.commands().length;
    const dialog = await pick("Load Config", file);
    await dialog.getByRole("heading", { name: "Load Config" }).waitFor();
    assert.deepEqual(await rowTexts(dialog), [
        "1/1 QM4-C channel 1 parameter 2 (Constellation) 16-QAM 256-QAM",
        "1/6 LA-862 parameter 0 (Gain) 32.5 dB 30.0 dB",
    ]);
    const said = await dialog.textContent();
    assert.match(said, /load\.mmh: 2 differences from the head-end\. EEPROM images not compared\./);
    assert.match(said, /Loading writes only the modules that differ; each restarts after it: 1\/1 QM4-C, 1\/6 LA-862\./);
    assert.match(said, /reading an image restarts its module: 1\/9 NC-100, 2\/3 RPR-4/);
    await dialog.getByRole("button", { name: "Cancel" }).click();
    await dialog.waitFor({ state: "hidden" });
    assert.equal(await s.raw("1/6", 0), 25);
    assert.equal((await s.cli("diff", file)).status, 1);
    assert.doesNotMatch(await ui.locator(".log").textContent(), /load load\.mmh/);
    assert.deepEqual(changes(before), [], "the comparison and Cancel");

    await (await pick("Load Config", file)).getByRole("button", { name: "OK" }).click();
    await ui.locator(".log li", { hasText: "Loaded load.mmh into 2 modules, verified" }).waitFor({ state: "attached" });
    const log = await ui.locator(".log").textContent();
    for (const said of ["load load.mmh by root", "Loading from file. Wait...", "12 Modules found"])
        assert.ok(log.includes(said), said);
    assert.deepEqual(modulesThat(before, "5").sort(), ["1/1", "1/6"]);
    assert.deepEqual(modulesThat(before, "7").sort(), ["1/1", "1/6"], "the modules restarted");
    const diff = await s.cli("diff", file);
    assert.equal(diff.status, 0, diff.out);
    await ui.locator('[data-module="1/6"]', { hasText: "LA-862OK" }).waitFor();
});

test("Compare with file: Restore writes the ticked row only, on its channel", async t => {
    if (!s.browser)
        return t.skip("Chromium cannot start");
    // Channel 2 of the modulator and the amplifier's gain differ; the selector is back at channel 1.
    const file = await differing("compare.mmh", [["1/1", "0", "1"], ["1/1", "5", "20"], ["1/1", "0", "0"], ["1/6", "0", "10"]]);
    const dialog = await pick("Compare with file…", file);
    await dialog.getByRole("heading", { name: "Compare with file" }).waitFor();
    assert.deepEqual(await rowTexts(dialog), [
        "1/1 QM4-C channel 2 parameter 5 (Output level) 90.0 dBuV 95.0 dBuV",
        "1/6 LA-862 parameter 0 (Gain) 25.0 dB 30.0 dB",
    ]);
    const restore = dialog.getByRole("button", { name: "Restore" });
    assert.equal(await restore.isDisabled(), true);
    await dialog.getByRole("checkbox", { name: "Restore 1/1 QM4-C channel 2 parameter 5 (Output level)" }).check();
    await page.setViewportSize({ width: 1366, height: 900 });
    await page.screenshot({ path: path.join(shots, "files-compare-1366.png") });
    await page.setViewportSize({ width: 360, height: 900 });
    assert.ok(await dialog.evaluate(d => d.scrollWidth <= d.clientWidth && d.getBoundingClientRect().right <= innerWidth),
              "the window is wider than a phone");
    await page.screenshot({ path: path.join(shots, "files-compare-360.png") });
    await page.setViewportSize({ width: 1366, height: 900 });
    const before = s.commands().length;
    await restore.click();
    // Compared again: the row restored is gone, the other still differs.
    await ui.locator(".log li", { hasText: "Module 1/1 parameter 5 (Output level): 30 written" }).waitFor({ state: "attached" });
    await dialog.locator("tbody tr").first().filter({ hasText: "1/6 LA-862" }).waitFor();
    assert.deepEqual(await rowTexts(dialog), ["1/6 LA-862 parameter 0 (Gain) 25.0 dB 30.0 dB"]);
    assert.equal(await s.raw("1/6", 0), 10);
    assert.equal(await s.raw("1/1", 0), 0, "the channel selected as before");
    const diff = JSON.parse((await s.cli("--json", "diff", file)).out);
    assert.deepEqual(diff.modules.filter(m => m.outcome === "values").map(m => m.module), ["1/6"]);
    assert.deepEqual([...new Set(changes(before))], ["1/1 5", "1/1 6"], "writes and commits to 1/1 alone, no restart");
    // The images only when asked: then compared, and the same.
    await dialog.getByRole("checkbox", { name: /Compare the EEPROM images too .*1\/9 NC-100, 2\/3 RPR-4/ }).check();
    await dialog.getByText("compare.mmh: 1 difference from the head-end.", { exact: true }).waitFor();
    assert.deepEqual(modulesThat(before, "7"), ["1/9", "2/3"]);
    assert.equal(await dialog.getByRole("checkbox", { name: /EEPROM images/ }).count(), 0);
    await dialog.getByRole("button", { name: "Close" }).click();
    await dialog.waitFor({ state: "hidden" });
});
