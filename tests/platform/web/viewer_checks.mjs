// viewer_checks.mjs: what a browser and a viewer do to the page beside playing it, each a check
// of web_test.mjs: Back from another address (the back/forward cache) and no animation frames as
// the music starts, in step again; a burst of seek keys costing one seek; Return on a focused No;
// the bar after a click and the keys with the slider focused; S saying what it copied; the end's
// address, box and focus, and a reload after it, offline; the media session and the wake lock; no
// WebGL 2, a slow network and broken files said before the question or at once; the page's title
// and description.
//   slowNetwork(t), viewerChecks(t): t holds web_test.mjs's browser, base, openPage, status,
//   until, startShow, check, driver and chromiumPath.

// Show time minus the sound's: what a viewer sees of sound and picture out of step.
const offsetOf = (s) => Math.round(s.clockMs - s.soundMs);
const sleep = (ms) => new Promise((done) => setTimeout(done, ms));
// The phases' starts (timeline.cpp), where Page Up and Page Down go.
const phaseStarts = [0, 15360, 30720, 46080, 61440, 122880, 138240];

// The page's steps from now on, as (when, stage, show time), kept by the page itself so that a
// step's length is measured where it happens.
const recordSteps = (page) => page.evaluate(() => {
  window.steps = [];
  let last = -1;
  const sample = () => {
    const q = window.quorbel;
    if (q.reportedAt !== last) window.steps.push([q.reportedAt, q.stage, q.showMs]);
    last = q.reportedAt;
    requestAnimationFrame(sample);
  };
  requestAnimationFrame(sample);
});
// The longest time without a show frame from `from` (performance.now()) on.
const longestGap = (page, from) => page.evaluate((from) => {
  const shown = window.steps.filter(([at, stage]) => at >= from - 200 && stage === 'show').map(([at]) => at);
  let gap = 0;
  for (let i = 1; i < shown.length; ++i) gap = Math.max(gap, shown[i] - shown[i - 1]);
  return Math.round(gap);
}, from);

export async function viewerChecks(t) {
  await Promise.all([inStep(t), thePlayer(t), beforeTheShow(t)]);
}

// 400 kbit/s with 150 ms latency: the question shows within a second, with how far the load is.
// Alone, before the rest starts: the page's first paint waits for a free core too.
export async function slowNetwork(t) {
  const page = await t.browser.newPage({ viewport: { width: 320, height: 240 } });
  // The site's page process started first, as a browser that had it open would have it.
  await page.goto(t.base.replace(/index\.html$/, 'elsewhere.html'));
  const cdp = await page.context().newCDPSession(page);
  await cdp.send('Network.enable');
  await cdp.send('Network.emulateNetworkConditions', { offline: false, latency: 150, downloadThroughput: 50000, uploadThroughput: 50000 });
  await page.goto(t.base, { waitUntil: 'commit' });
  await page.waitForSelector('#question #yes', { state: 'visible', timeout: 20000 }).catch(() => {});
  // When the page first painted something, the question being its first content.
  await page.waitForFunction(() => performance.getEntriesByName('first-contentful-paint').length > 0, null, { timeout: 20000 })
    .catch(() => {});
  const [shownAfter, htmlAfter] = await page.evaluate(() =>
    [Math.round(performance.getEntriesByName('first-contentful-paint')[0]?.startTime ?? Infinity),
     Math.round(performance.getEntriesByType('navigation')[0]?.responseEnd ?? Infinity)]);
  // A percentage where the server gives the length, else what has come.
  await page.waitForFunction(() => /\d+ (%|KB)/.test(document.getElementById('loading').textContent), null, { timeout: 5000 })
    .catch(() => {});
  const line = await page.evaluate(() => document.getElementById('loading')?.textContent ?? '(no line)');
  await page.close();
  t.check(shownAfter < 1000 && /Loading the show: \d+ (%|KB)/.test(line),
          `at 400 kbit/s and 150 ms the question is painted ${shownAfter} ms after the navigation began (the HTML ` +
          `in at ${htmlAfter} ms), over "${line}"`);
}

// ---- sound and picture in step: no animation frames as the music starts, and Back ----
// A headless page is never hidden, and playwright turns the back/forward cache off: puppeteer's
// Chromium has it. A main thread stalled for 3 s as the music starts gets no animation frames
// while the sound plays on, as a tab hidden then does.
async function inStep(t) {
  const puppeteer = t.driver('puppeteer-core');
  const browser = await puppeteer.launch({
    executablePath: t.chromiumPath, headless: true,
    args: ['--enable-unsafe-swiftshader', '--use-gl=angle', '--use-angle=swiftshader', '--hide-scrollbars', '--no-sandbox',
           '--window-size=320,240'],
  });
  try {
    const page = await browser.newPage();
    const errors = [];
    page.on('pageerror', (error) => errors.push(error.message));
    page.on('console', (message) => { if (message.type() === 'error') errors.push(message.text()); });
    await page.goto(t.base);
    await page.waitForSelector('#question:not([hidden])', { timeout: 60000 });
    await page.evaluate(() => {
      addEventListener('pageshow', (event) => {
        window.restored = event.persisted;
        window.shownAt = performance.now();
      });
      const stall = () => {
        // The music started this frame; the show's clock starts at the next.
        if (window.quorbel.stage !== 'starting' || window.quorbel.audio !== 'playing') { requestAnimationFrame(stall); return; }
        window.stalledAt = window.quorbel.showMs;
        for (const until = performance.now() + 3000; performance.now() < until;) { /* no frames, the sound plays */ }
      };
      requestAnimationFrame(stall);
    });
    await page.keyboard.press('Escape');
    await page.waitForFunction(() => window.quorbel.stage === 'show', { timeout: 240000, polling: 100 });
    await sleep(2000);
    const started = await t.status(page);
    const stalled = await page.evaluate(() => window.stalledAt !== undefined);
    t.check(stalled && Math.abs(offsetOf(started)) < 100,
            `no animation frame for 3 s as the music starts: 2 s on, the picture at ${Math.round(started.clockMs)} ms, the ` +
            `sound at ${Math.round(started.soundMs)} ms (offset ${offsetOf(started)} ms)`);

    const cdp = await page.createCDPSession();
    await cdp.send('Page.enable');
    const notCached = [];
    cdp.on('Page.backForwardCacheNotUsed', (event) => notCached.push(...event.notRestoredExplanations.map((e) => e.reason)));
    const left = await t.status(page);
    await page.goto(t.base.replace(/index\.html$/, 'elsewhere.html'));
    await sleep(6000);
    await page.goBack({ waitUntil: 'domcontentloaded' });
    await page.waitForFunction(() => window.quorbel.stage === 'show', { timeout: 20000, polling: 100 }).catch(() => {});
    await sleep(2000);
    const back = await t.status(page);
    const [restored, shownAt] = await page.evaluate(() => [window.restored, window.shownAt]);
    // From where it was left: no further on than the time since the return (and a seek's).
    t.check(restored === true && Math.abs(offsetOf(back)) < 100 && back.clockMs > left.clockMs &&
            back.clockMs < left.clockMs + (back.now - shownAt) + 1000 && errors.length === 0,
            `Back after 6 s on another address (${restored ? 'from the back/forward cache' : 'not from the cache: ' + notCached.join(', ')}): ` +
            `left at ${Math.round(left.clockMs)} ms, 2 s after return the picture at ${Math.round(back.clockMs)} ms, the sound at ` +
            `${Math.round(back.soundMs)} ms (offset ${offsetOf(back)} ms)${errors.length ? '; console: ' + errors.join(' | ') : ''}`);
  } finally {
    await browser.close();
  }
}

// ---- the player: seek keys in a burst, the bar after a click, the slider's keys, S, the end ----
async function thePlayer(t) {
  // The media session's handlers kept where the test can call them, as the system's controls do.
  const page = await t.openPage('?t=120000', { viewport: { width: 320, height: 240 } }, undefined, () => {
    window.mediaActions = {};
    const set = navigator.mediaSession.setActionHandler.bind(navigator.mediaSession);
    navigator.mediaSession.setActionHandler = (action, handler) => {
      window.mediaActions[action] = handler;
      set(action, handler);
    };
  });
  await t.startShow(page, 'Escape');
  await recordSteps(page);
  await t.until(page, () => window.quorbel.stage === 'show' && window.quorbel.showMs > 121000);
  // Ten Left presses between two frames, after one alone: the ten cost what one does. Twice, the
  // shorter of each kept: the machine is shared.
  const press = (times) => page.evaluate((times) => {
    for (let i = 0; i < times; ++i) window.dispatchEvent(new KeyboardEvent('keydown', { key: 'ArrowLeft', bubbles: true }));
    return [performance.now(), window.quorbel.showMs + performance.now() - window.quorbel.reportedAt];
  }, times);
  const gaps = [];
  for (const times of [1, 10, 1, 10]) {
    const [at, from] = await press(times);
    const landed = await t.until(page, (to) => window.quorbel.stage === 'show' && window.quorbel.showMs > to &&
                                               window.quorbel.showMs < to + 2000, from - 5000 * times, 20000);
    await page.waitForTimeout(500);
    gaps.push({ times, from: Math.round(from), to: landed.showMs, gap: await longestGap(page, at) });
  }
  const shortest = (times) => Math.min(...gaps.filter((g) => g.times === times).map((g) => g.gap));
  t.check(gaps.every((g) => g.to < g.from - 5000 * g.times + 2000) && shortest(10) - shortest(1) < 300,
          `seek keys in a burst run one seek: ${gaps.map((g) => `${g.times} Left from ${g.from} ms: at ${g.to} ms, the ` +
          `longest time without a frame ${g.gap} ms`).join('; ')}`);

  // Right held 1.5 s, the keyboard repeating it every 33 ms: it acts again at the player's rate
  // (4 times a second after 0.4 s, as on the desktop), not 30 times a second.
  const heldFrom = (await t.status(page)).clockMs;
  await page.evaluate(async () => {
    const send = (type, repeat) => window.dispatchEvent(new KeyboardEvent(type, { key: 'ArrowRight', repeat, bubbles: true }));
    send('keydown', false);
    await new Promise((done) => setTimeout(done, 500));
    for (const end = performance.now() + 1000; performance.now() < end;) {
      send('keydown', true);
      await new Promise((done) => setTimeout(done, 33));
    }
    send('keyup', false);
  });
  await page.waitForTimeout(1500);
  const heldTo = (await t.until(page, () => window.quorbel.stage === 'show')).clockMs;
  const moved = Math.round(heldTo - heldFrom);
  t.check(moved > 15000 && moved < 40000, `Right held 1.5 s moves ${moved} ms (one press and its repeats at 4 a second)`);

  // The system's media controls: play, pause and seeks as the keys; the screen kept on while it plays.
  const media = [];
  const session = () => page.evaluate(() => [window.quorbel.stage, window.quorbel.wakeLock, navigator.mediaSession.playbackState,
                                             navigator.mediaSession.metadata?.title, window.quorbel.showMs]);
  media.push(['playing', await session()]);
  for (const [action, details, stage] of [['pause', {}, 'paused'], ['nexttrack', {}, 'paused'], ['seekto', { seekTime: 40 }, 'paused'],
                                          ['play', {}, 'show']]) {
    const from = (await t.status(page)).showMs;
    await page.evaluate(([action, details]) => window.mediaActions[action]?.({ action, ...details }), [action, details]);
    await t.until(page, ([stage, from, moves]) => window.quorbel.stage === stage && (!moves || window.quorbel.showMs !== from),
                  [stage, from, action === 'nexttrack' || action === 'seekto'], 10000);
    await page.waitForTimeout(300);
    media.push([action, await session()]);
  }
  const nextPhase = phaseStarts.find((start) => start > media[1][1][4]);
  const wanted = [['show', 'held', 'playing', 'Quorbel'], ['paused', 'released', 'paused', 'Quorbel'],
                  ['paused', 'released', 'paused', 'Quorbel', nextPhase], ['paused', 'released', 'paused', 'Quorbel', 40000],
                  ['show', 'held', 'playing', 'Quorbel']];
  t.check(media.every(([, got], i) => wanted[i].every((value, k) => got[k] === value)),
          `the media session and the wake lock: ${media.map(([what, [stage, wake, state, title, ms]]) =>
            `${what}: ${stage} at ${ms} ms, the wake lock ${wake}, the session ${state} ("${title}")`).join('; ')}`);

  await page.keyboard.press('s');
  const said = await t.until(page, () => document.getElementById('said')?.hidden === false, undefined, 5000);
  const saidText = await page.evaluate(() => document.getElementById('said')?.textContent ?? '(no word)');
  t.check(/(copied|address bar)/.test(saidText) && /\d+:\d\d/.test(saidText) && said.copied,
          `S says on screen what it did: "${saidText}"`);

  // A click pauses; the bar hides 2 s after it, the keyboard's focus back with the show.
  await page.mouse.move(100, 100);
  await page.mouse.move(120, 120);
  await t.until(page, () => getComputedStyle(document.getElementById('controls')).opacity === '1', undefined, 5000);
  await page.click('#play');
  await t.until(page, () => window.quorbel.stage === 'paused');
  await page.waitForTimeout(2600);
  const afterClick = await page.evaluate(() => [getComputedStyle(document.getElementById('controls')).opacity,
                                                document.activeElement ? document.activeElement.id : '']);
  t.check(afterClick[0] === '0', `a click on the play button pauses, and 2.6 s later the bar is hidden ` +
          `(opacity ${afterClick[0]}, the focus on #${afterClick[1]})`);

  // With the slider focused, each key means what it means anywhere.
  await page.focus('#scrub');
  const moves = [];
  for (const key of ['PageDown', 'ArrowRight', 'PageUp', 'ArrowLeft']) {
    const from = (await t.status(page)).showMs;
    await page.keyboard.press(key);
    const to = (await t.until(page, (from) => window.quorbel.stage === 'paused' && window.quorbel.showMs !== from, from, 10000)).showMs;
    moves.push([key, from, to]);
  }
  const expected = ([key, from]) => {
    const phase = phaseStarts.findLastIndex((start) => start <= from);
    return { PageDown: phaseStarts[phase + 1], PageUp: from >= phaseStarts[phase] + 1000 ? phaseStarts[phase] : phaseStarts[phase - 1],
             ArrowRight: from + 5000, ArrowLeft: from - 5000 }[key];
  };
  t.check(moves.every((move) => move[2] === expected(move)),
          `with the slider focused, the keys do what they do anywhere: ${moves.map(([key, from, to]) =>
            `${key} ${from} -> ${to} ms (${expected([key, from])})`).join(', ')}`);

  // The end: the address plays the show again, the box is a live region with the focus on its link.
  await page.evaluate(() => { Module.quorbelSeekTo = 160700; });
  await t.until(page, () => window.quorbel.stage === 'paused' && window.quorbel.showMs === 160700);
  await page.keyboard.press(' ');
  const ended = await t.until(page, () => window.quorbel.stage === 'ended', undefined, 20000);
  const end = await page.evaluate(() => ({ role: document.getElementById('ended').getAttribute('role'),
                                           live: document.getElementById('ended').getAttribute('aria-live') ||
                                             document.getElementById('ended').getAttribute('role'),
                                           focus: document.activeElement ? document.activeElement.id : '',
                                           search: location.search }));
  t.check(ended.stage === 'ended' && end.search === '' && ['status', 'alert', 'alertdialog'].includes(end.role) && end.focus === 'again',
          `at the end the address is "${end.search}" (plays from the start), the end box's role is ${end.role}, ` +
          `the focus on #${end.focus}`);
  // Reloaded without a network: the service worker has kept the files.
  const kept = (await t.until(page, () => window.quorbel.offline === 'kept', undefined, 20000)).offline;
  await page.context().setOffline(true);
  await page.reload();
  await page.waitForSelector('#question:not([hidden])', { timeout: 60000 });
  await page.keyboard.press('Escape');
  const reloaded = await t.until(page, () => window.quorbel.showStartedAt !== undefined, undefined, 240000);
  await page.close();
  t.check(reloaded.firstShowMs < 1000, `reloaded after the end, the show plays from ${reloaded.firstShowMs} ms`);
  t.check(kept === 'kept' && reloaded.stage === 'show', `the service worker kept the files (${kept}); reloaded offline, ` +
          `the show ${reloaded.stage === 'show' ? 'plays' : 'does not play: ' + reloaded.stage}`);
}

// ---- before the show: Return on No; no WebGL 2; a slow network; broken files ----
async function beforeTheShow(t) {
  const quiet = { viewport: { width: 320, height: 240 } };
  {
    const page = await t.openPage('', quiet);
    await page.waitForSelector('#question:not([hidden])', { timeout: 60000 });
    await page.waitForFunction(() => window.quorbel.askedAt !== undefined, null, { timeout: 60000 });
    await page.keyboard.press('Tab');
    const focused = await page.evaluate(() => document.activeElement.id);
    await page.keyboard.press('Enter');
    await page.waitForTimeout(300);
    const answered = await page.evaluate(() => [Module.quorbelAnswer, !!document.fullscreenElement]);
    const head = await page.evaluate(() => [document.title, document.querySelector('meta[name=description]')?.content || '']);
    await page.close();
    t.check(focused === 'no' && answered[0] === 0 && !answered[1], `Tab to No (#${focused}), Return: the answer is ` +
            `${answered[0] === 0 ? 'No' : 'Yes'}, full screen ${answered[1] ? 'on' : 'off'}`);
    t.check(head[0] === 'Quorbel' && head[1].length > 40, `the page's title is "${head[0]}", its description "${head[1]}"`);
  }

  // A browser that has WebGL 2's constructor but gives no context: said before any question.
  {
    const errors = [];
    const page = await t.browser.newPage(quiet);
    page.on('pageerror', (error) => errors.push(error.message));
    await page.addInitScript(() => {
      const getContext = HTMLCanvasElement.prototype.getContext;
      HTMLCanvasElement.prototype.getContext = function (type, ...rest) {
        return type === 'webgl2' ? null : getContext.call(this, type, ...rest);
      };
    });
    await page.goto(t.base);
    await page.waitForSelector('#failed:not([hidden])', { timeout: 20000 }).catch(() => {});
    const seen = await page.evaluate(() => [document.getElementById('failed').hidden ? '' : document.getElementById('failed').textContent.trim(),
                                            !document.getElementById('question').hidden && getComputedStyle(document.getElementById('question')).display !== 'none']);
    await page.close();
    t.check(/WebGL 2/.test(seen[0]) && !seen[1] && errors.length === 0,
            `no WebGL 2 context: the page says "${seen[0]}"${seen[1] ? ' beside the question' : ', no question'}`);
  }

  // Files that do not come or are not the show's: the viewer's words, a way to try again; and a
  // right file of a wrong type plays with a quiet console.
  const wasm = /\/quorbel\.wasm$/;
  const broken = [
    ['a missing wasm', (route) => route.fulfill({ status: 404, body: '' }), /did not come/],
    ['a truncated wasm', async (route) => {
      const body = await (await route.fetch()).body();
      route.fulfill({ status: 200, contentType: 'application/wasm', body: body.subarray(0, body.length >> 1) });
    }, /damaged/],
    ['HTML in its place', (route) => route.fulfill({ status: 200, contentType: 'text/html', body: '<!doctype html><p>Not here' }),
     /something else/],
  ];
  await Promise.all(broken.map(async ([what, serve, says]) => {
    const page = await t.browser.newPage(quiet);
    await page.route(wasm, serve);
    await page.goto(t.base);
    await page.waitForSelector('#failed:not([hidden])', { timeout: 30000 }).catch(() => {});
    const text = (await page.textContent('#failed')).trim().replace(/\s+/g, ' ');
    const link = await page.getAttribute('#failed-link', 'href');
    await page.close();
    t.check(says.test(text) && /Reload|try again/i.test(text) && !/RuntimeError|CompileError|magic|ASSERTIONS|stopped at/.test(text) &&
            link && link.endsWith('/index.html'), `${what}: "${text}" with a link to try again`);
  }));
  {
    const messages = [];
    const page = await t.browser.newPage(quiet);
    page.on('console', (message) => messages.push(`${message.type()}: ${message.text()}`));
    await page.route(wasm, async (route) => {
      route.fulfill({ status: 200, contentType: 'application/octet-stream', body: await (await route.fetch()).body() });
    });
    await page.goto(t.base);
    await page.waitForFunction(() => window.quorbel.askedAt !== undefined, null, { timeout: 60000 }).catch(() => {});
    const asked = await page.evaluate(() => window.quorbel.askedAt !== undefined);
    await page.close();
    t.check(asked && messages.length === 0, `the wasm served as application/octet-stream: the question comes and the console ` +
            `says ${messages.length ? messages.join(' | ') : 'nothing'}`);
  }
}
