// page_library.js: the wasm's side of the page, an emscripten --js-library: the functions that
// page.h declares for C++, each a short call into the page's side of the seam (page/seam.js).
// Pointers are the wasm's (UTF-8 strings, 16-bit samples, 32-bit words).
mergeInto(LibraryManager.library, {
  // ---- the page ----
  pageHasWebGL2: function () { return typeof WebGL2RenderingContext !== 'undefined' ? 1 : 0; },
  /** @param {number} text @param {number} caption */
  pageAsk: function (text, caption) { Module.quorbelAsk(UTF8ToString(text), UTF8ToString(caption)); },
  pageAnswer: function () { return Module.quorbelAnswer === undefined ? -1 : Module.quorbelAnswer; },
  pageTakeEscape: function () {
    const pressed = Module.quorbelEscape ? 1 : 0;
    Module.quorbelEscape = false;
    return pressed;
  },
  /** @param {number} stage @param {number} loadingFrames @param {number} showMs */
  pageReport: function (stage, loadingFrames, showMs) {
    const status = Module.quorbelStatus;
    status.stage = UTF8ToString(stage);
    status.loadingFrames = loadingFrames;
    status.showMs = showMs;
    const now = performance.now();
    status.reportedAt = now;
    if (status.firstFrameAt === undefined && loadingFrames > 0) status.firstFrameAt = now;
    if (status.showStartedAt === undefined && status.stage === 'show') {
      status.showStartedAt = now;
      status.firstShowMs = showMs;
    }
  },
  /** @param {number} breakAt  the highest the heap's allocations reached */
  pageReportHeap: function (breakAt) {
    const status = Module.quorbelStatus;
    status.heapBytes = HEAP8.length;
    status.heapTopBytes = Math.max(status.heapTopBytes || 0, breakAt);
  },
  /** @param {number} title */
  pageSetTitle: function (title) { document.title = UTF8ToString(title); },
  // The browser's own SHA-256, which it grants only to a secure context.
  /** @param {number} image @param {number} bytes */
  pageTitleSoundtrackHash: function (image, bytes) {
    if (!(window.crypto && crypto.subtle)) {
      document.title = 'quorbel: failed: the page needs a secure context (http://127.0.0.1 or https) to hash';
      return;
    }
    crypto.subtle.digest('SHA-256', HEAPU8.slice(image, image + bytes)).then(function (digest) {
      const hex = Array.from(new Uint8Array(digest), function (b) { return b.toString(16).padStart(2, '0'); }).join('');
      document.title = 'quorbel: soundtrack ' + hex;
    });
  },
  pageShowEnd: function () { Module.quorbelShowEnd(); },
  /** @param {number} message */
  pageFail: function (message) { Module.quorbelFail(UTF8ToString(message)); },
  /** @param {number} message */
  pageBadAddress: function (message) { Module.quorbelBadAddress(UTF8ToString(message)); },
  /** @param {number} text @param {number} size */
  pageQuery: function (text, size) { stringToUTF8(location.search.substring(1), text, size); },
  pageCheckAddress: function () { return Module.quorbelCheck ? 1 : 0; },
  /** @param {number} line */
  pageNote: function (line) { Module.quorbelNote(UTF8ToString(line)); },

  // ---- the canvas ----
  pageHideCursor: function () { Module.canvas.style.cursor = 'none'; },
  pageScreenWidth: function () { return screen.width | 0; },
  pageScreenHeight: function () { return screen.height | 0; },
  pageCanvasWidth: function () { return Module.canvas.width; },
  pageCanvasHeight: function () { return Module.canvas.height; },
  /** @param {number} devicePixels */
  pageFitCanvas: function (devicePixels) {
    const canvas = Module.canvas;
    const ratio = window.devicePixelRatio || 1;
    const width = devicePixels ? Math.max(1, Math.round(canvas.clientWidth * ratio)) : 640;
    const height = devicePixels ? Math.max(1, Math.round(canvas.clientHeight * ratio)) : 480;
    if (canvas.width === width && canvas.height === height) return 0;
    canvas.width = width;
    canvas.height = height;
    return 1;
  },
  /** @param {number} topWidth @param {number} topHeight @param {number} width @param {number} height */
  pageReportSize: function (topWidth, topHeight, width, height) {
    Module.quorbelStatus.top = topWidth + 'x' + topHeight;
    Module.quorbelStatus.size = width + 'x' + height;
  },
  /**
   * @param {number} frames @param {number} medianMs @param {number} p99Ms
   * @param {number} sizes @param {number} line
   */
  pageReportFrames: function (frames, medianMs, p99Ms, sizes, line) {
    const status = Module.quorbelStatus;
    status.frames = frames;
    status.frameMedianMs = medianMs;
    status.frameP99Ms = p99Ms;
    status.sizes = UTF8ToString(sizes);
    status.frameReport = UTF8ToString(line);
  },
  pageContext: function () { return Module.quorbelContext(); },
  /** @param {number} made @param {number} error */
  pageContextMade: function (made, error) { Module.quorbelContextMade(made !== 0, UTF8ToString(error)); },
  pageHeld: function () { return Module.quorbelHeld() ? 1 : 0; },

  // ---- the sound ----
  /** @param {number} samples  16-bit stereo, interleaved @param {number} frames */
  pagePlay: function (samples, frames) {
    const audio = Module.quorbelAudio;
    if (!audio) return 0;
    try {
      const buffer = audio.createBuffer(2, frames, 44100);
      const left = buffer.getChannelData(0), right = buffer.getChannelData(1);
      const pcm = HEAP16.subarray(samples >> 1, (samples >> 1) + 2 * frames);
      for (let i = 0; i < frames; ++i) {
        left[i] = pcm[2 * i] / 32768;
        right[i] = pcm[2 * i + 1] / 32768;
      }
      Module.quorbelPlaySound(buffer);
      return 1;
    } catch (e) {
      console.warn(e);
      return 0;
    }
  },
  pageHeard: function () {
    const audio = Module.quorbelAudio;
    if (!audio || audio.state !== 'running') return -1;
    const heardAt = Module.quorbelHeardAt;
    return heardAt !== undefined && audio.currentTime >= heardAt ? 1 : 0;
  },
  pageStop: function () { Module.quorbelStopSound(); },
  /** @param {number} ms */
  pageSeekAudio: function (ms) { Module.quorbelSoundFrom(ms); },
  /** @param {number} paused */
  pagePauseAudio: function (paused) { Module.quorbelWantSound(!paused); },
  /** @param {number} showMs */
  pageSoundInStep: function (showMs) { Module.quorbelSoundInStep(showMs); },

  // ---- the player ----
  pageTakeKey: function () {
    const keys = Module.quorbelKeys;
    return keys && keys.length ? keys.shift() : -1;
  },
  pageTakeSeek: function () {
    const ms = Module.quorbelSeekTo;
    Module.quorbelSeekTo = -1;
    return ms === undefined ? -1 : ms;
  },
  /** @param {number} ms @param {number} forMs */
  pageShowBar: function (ms, forMs) { Module.quorbelShowBar(ms, forMs); },
  /**
   * @param {number} help @param {number} keyRows  JSON @param {number} phases @param {number} count
   * @param {number} lengthMs @param {number} loopFromMs @param {number} loopToMs
   */
  pagePlayer: function (help, keyRows, phases, count, lengthMs, loopFromMs, loopToMs) {
    const starts = [];
    for (let i = 0; i < count; ++i) starts.push(HEAPU32[(phases >> 2) + i]);
    Module.quorbelPlayer(UTF8ToString(help), JSON.parse(UTF8ToString(keyRows)), starts, lengthMs, loopFromMs, loopToMs);
  },
});
