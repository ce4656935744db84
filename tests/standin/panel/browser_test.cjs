// SPDX-License-Identifier: MIT
// The panel in a real browser, while kova-capture runs against the stand-in with --panel: the
// scanner appears, its frame updates, the lamps the tool lit show lit, and the page's unplug makes
// the tool's status thread report the unplug (and its plug brings the scanner back).
//   node browser_test.cjs PANEL-URL TOOL-LOG SCREENSHOT
'use strict';
const fs = require('fs');
const os = require('os');
const path = require('path');
const puppeteer = require('puppeteer-core');

const [url, toolLog, screenshot] = process.argv.slice(2);
const limit = 30000;

// Waits for check() to give something true; a bound, not a verdict.
async function until(what, check) {
  const started = Date.now();
  for (;;) {
    const value = await check();
    if (value) return value;
    if (Date.now() - started > limit) throw new Error('no ' + what + ' within ' + limit / 1000 + ' s');
    await new Promise((resolve) => setTimeout(resolve, 100));
  }
}
const toolSays = (pattern) => until('"' + pattern.source + '" from the tool', () => pattern.test(fs.readFileSync(toolLog, 'utf8')));

(async () => {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'kova-panel-chromium-'));
  const browser = await puppeteer.launch({
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    headless: true,
    userDataDir: profile,
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
      '--disable-component-update', '--disable-sync', '--disable-dev-shm-usage'],
  });
  try {
    const page = await browser.newPage();
    await page.setViewport({ width: 1000, height: 760 });
    const elsewhere = [];
    page.on('request', (request) => { if (!request.url().startsWith(url)) elsewhere.push(request.url()); });
    const errors = [];
    page.on('pageerror', (error) => errors.push(error.message));
    await page.goto(url);

    const card = 'article[data-sensor="QV3-0001"]';
    await page.waitForSelector(card, { timeout: limit });
    const sample = () => page.$eval(card + ' img.frame', (image) => Number(image.dataset.sample || 0));
    const first = await until('first frame', async () => await sample());
    await until('newer frame', async () => (await sample()) > first);
    // The tool lights every finger zone: both lamps of all four zones.
    await until('lit lamps', () => page.$eval(card, (node) => node.querySelectorAll('.lamp.on').length >= 8));

    await toolSays(/capturing \d+ frames/);
    await page.click(card + ' button[data-do="unplug"]');
    await toolSays(/status thread: KovaGetStatus\(0x[0-9a-f]+\) -> 9005/);
    await toolSays(/notification: scanner QV3-0001 unplugged/);
    await until('unplugged scanner on the page', () => page.$eval(card, (node) => node.textContent.includes('unplugged')));

    await page.click(card + ' button[data-do="plug"]');
    await toolSays(/reopened QV3-0001/);
    const again = await sample();
    await until('frame after the reopening', async () => (await sample()) > again);
    await until('the journal', () => page.$eval('#journal', (list) => list.textContent.includes('plugged in (plug event 0')));
    await page.screenshot({ path: screenshot });

    if (elsewhere.length) throw new Error('the page asked elsewhere: ' + elsewhere.join(' '));
    if (errors.length) throw new Error('the page failed: ' + errors.join('; '));
    console.log('panel in the browser: passed; screenshot ' + screenshot);
  } finally {
    await browser.close();
    fs.rmSync(profile, { recursive: true, force: true });
  }
})().catch((error) => {
  console.error('panel in the browser: ' + error.message);
  process.exit(1);
});
