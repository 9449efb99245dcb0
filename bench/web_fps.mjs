// web_fps.mjs: the whole live show in headless Chromium (WebGL2 on SwiftShader), each phase's
// frames a second: the page's animation frames, counted by a script of the benchmark's own
// beside the show's (so any build of the page can be measured), against the show's clock.
//   node bench/web_fps.mjs SITE_DIR [WxH] [address query, e.g. scale=1]
// Needs playwright-core in build-web/node/ (scripts/setup.sh), Debian's chromium, and build/
// (the phases are read from build/quorbel-capture --phases).
import { execFileSync } from 'node:child_process';
import { createServer } from 'node:http';
import { createRequire } from 'node:module';
import { existsSync, readFileSync } from 'node:fs';
import { extname, join, resolve } from 'node:path';

const [siteArg, size = '1920x1080', query = ''] = process.argv.slice(2);
const site = resolve(siteArg);
const [width, height] = size.split('x').map(Number);
const driver = resolve(new URL('.', import.meta.url).pathname, '../build-web/node');
const { chromium } = createRequire(join(driver, 'package.json'))('playwright-core');

const types = { '.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm' };
const server = createServer((request, response) => {
  const file = join(site, new URL(request.url, 'http://x').pathname.replace(/^\/$/, '/index.html'));
  if (!file.startsWith(site) || !existsSync(file)) { response.writeHead(404); response.end(); return; }
  response.writeHead(200, { 'Content-Type': types[extname(file)] || 'application/octet-stream' });
  response.end(readFileSync(file));
});
await new Promise((done) => server.listen(0, '127.0.0.1', done));
const browser = await chromium.launch({
  executablePath: process.env.QUORBEL_CHROMIUM || '/usr/bin/chromium',
  args: ['--enable-unsafe-swiftshader', '--use-gl=angle', '--use-angle=swiftshader', '--hide-scrollbars'],
});
const page = await browser.newPage({ viewport: { width, height } });
await page.addInitScript(() => {
  window.benchFrames = 0;
  const count = () => { ++window.benchFrames; requestAnimationFrame(count); };
  requestAnimationFrame(count);
});
await page.goto(`http://127.0.0.1:${server.address().port}/index.html${query ? '?' + query : ''}`);
await page.waitForSelector('#question:not([hidden])', { timeout: 60000 });
await page.keyboard.press('Enter');
await page.waitForFunction(() => window.quorbel.stage === 'show', null, { timeout: 120000, polling: 100 });
const samples = [];
for (;;) {
  const sample = await page.evaluate(() => [window.quorbel.showMs, window.benchFrames, window.quorbel.stage]);
  samples.push(sample);
  if (sample[2] !== 'show') break;
  await page.waitForTimeout(250);
}
const report = await page.evaluate(() => window.quorbel.frameReport);
await browser.close();
server.close();

// The phases as the program's timeline has them (quorbel-capture --phases).
const capture = resolve(new URL('.', import.meta.url).pathname, '../build/quorbel-capture');
const phases = JSON.parse(execFileSync(capture, ['--phases'], { encoding: 'utf8' }))
  .map((/** @type {{name: string, startMs: number, endMs: number}} */ p) => [p.name, p.startMs, p.endMs]);
// Frames counted by show time ms, between the samples around it.
const framesAt = (ms) => {
  for (let i = 1; i < samples.length; ++i)
    if (samples[i][0] >= ms) {
      const [t0, f0] = samples[i - 1], [t1, f1] = samples[i];
      return t1 === t0 ? f1 : f0 + (f1 - f0) * (ms - t0) / (t1 - t0);
    }
  return samples[samples.length - 1][1];
};
const last = samples.filter((s) => s[2] === 'show').pop()[0];
for (const [name, from, to] of phases) {
  const end = Math.min(to, last);
  if (end <= from) { console.log(`${name.padEnd(15)} not reached`); continue; }
  const fps = (framesAt(end) - framesAt(from)) / ((end - from) / 1000);
  console.log(`${name.padEnd(15)} ${fps.toFixed(1).padStart(5)} fps`);
}
console.log(report ? `the page: ${report}` : 'the page reports no frames (a build without the drawing scale)');
