// seam.js: the seam between the page and the wasm, as platform/system.h is the desktop's: every
// name the two sides share on emscripten's Module, with who sets it, who calls it and when. The
// page's modules and the wasm's side (page_library.js, emscripten's --js-library) are both
// type-checked against this list, so a name that is not here does not pass the tests.

/**
 * What the page's scripts and tests see of the run (window.quorbel). The wasm writes the stage,
 * the frames and the sizes (page_library.js); the page adds the moments of its own events.
 * @typedef {object} QuorbelStatus
 * @property {string} stage  'starting' before the wasm runs, then 'question', 'loading',
 *   'running up', 'starting', 'show', 'paused', 'seeking', 'ended' (the wasm's) or 'failed' (the page's)
 * @property {number} loadingFrames  loading-screen frames drawn
 * @property {number} showMs  show time of the last frame
 * @property {string} audio  'none', 'started' (the context made), 'playing', 'stopped'
 * @property {number} [reportedAt]  performance.now() of the last report
 * @property {number} [firstFrameAt]  of the first loading frame
 * @property {number} [showStartedAt]  of the first show frame, and its show time:
 * @property {number} [firstShowMs]
 * @property {number} [askedAt]  when the question was shown, and answered:
 * @property {number} [answeredAt]
 * @property {number} [heapBytes]  the wasm's heap, and the highest its break reached
 * @property {number} [heapTopBytes]
 * @property {string} [top]  the picture's largest size and the size drawn at, 'WxH'
 * @property {string} [size]
 * @property {number} [frames]  show frames shown, their intervals' median and 99th percentile
 * @property {number} [frameMedianMs]
 * @property {number} [frameP99Ms]
 * @property {string} [sizes]  the sizes drawn at and for how long
 * @property {string} [frameReport]  the native end line's text
 * @property {string} [copied]  the last address key S copied
 * @property {number} [soundMoved]  how often the sound was put back where the picture is (sound.js)
 * @property {string} [offline]  'kept' once the service worker holds the show's files for offline play
 * @property {string} [wakeLock]  the screen kept on: 'held', 'released' or 'refused' (none asked yet: absent)
 * @property {string} [error]  why the show failed
 */

/**
 * A row of the show's key table (platform/player_keys.cpp), as the wasm hands it to the page.
 * @typedef {object} KeyRow
 * @property {string} key  KeyboardEvent.key
 * @property {boolean} shift  the row wants Shift held
 * @property {number} code  the PlayerKey the wasm takes from quorbelKeys
 * @property {boolean} ends  the key ends the show (Escape)
 * @property {number} repeatMs  held down, it acts again this often (0: once), after delayMs
 * @property {number} delayMs
 */

/**
 * Emscripten's Module with the page's side of the seam.
 * @typedef {object} QuorbelModule
 * @property {HTMLCanvasElement} canvas  emscripten's: the canvas the WebGL context is made on
 * @property {(text: string) => void} print  emscripten's: the wasm's stdout and stderr
 * @property {(text: string) => void} printErr
 * @property {(what: unknown) => void} onAbort  emscripten's: the program stopped
 * @property {() => void} [onRuntimeInitialized]  emscripten's: the program is ready, main comes next
 * @property {(imports: WebAssembly.Imports, receive: (instance: WebAssembly.Instance, module: WebAssembly.Module) => void) => object} [instantiateWasm]
 *   emscripten's: the page instantiates the program it fetched and compiled itself (load.js)
 * @property {() => void} _webContextRestored  the wasm's (web_display.cpp); called by the page
 *   when the browser gives the WebGL context back, between two animation frames
 *
 * Values the page sets and the wasm reads or takes, once an animation frame:
 * @property {QuorbelStatus} quorbelStatus  the run as the page's scripts see it (window.quorbel)
 * @property {boolean} quorbelEscape  set by the page's Escape or a full screen left the browser's
 *   way; taken (and cleared) by the wasm's systemEscapePressed
 * @property {number} [quorbelAnswer]  1 Yes, 0 No, set by the question's answer; read by webAnswer
 * @property {boolean} quorbelCheck  the address names a check mode: set by the page from it before
 *   the wasm loads; the wasm's main follows it (webCheckAddress)
 * @property {number[]} quorbelKeys  the player's key codes pressed, taken one at a time by systemNextKey
 * @property {number} quorbelSeekTo  show ms the scrub bar asked for, -1 for none; taken by webTakeSeek
 * @property {AudioContext} [quorbelAudio]  made by the answer (the gesture browsers ask for); the
 *   wasm fills its buffer (systemPlayWave) and asks whether it runs (systemWaveHeard)
 * @property {number} [quorbelHeardAt]  the context's time at which the sound's first sample is heard
 *
 * Calls the wasm makes of the page:
 * @property {(text: string, caption: string) => void} quorbelAsk  the question (systemStart's
 *   webAskQuestion, before the first frame)
 * @property {(help: string, rows: KeyRow[], phaseStarts: number[], lengthMs: number, fromMs: number, toMs: number) => void} quorbelPlayer
 *   the player's help, key table, phases, the show's length and the loop (once, when the live show starts)
 * @property {(line: string) => void} quorbelNote  a line under the question (a part of the address ignored)
 * @property {(ms: number, forMs: number) => void} quorbelShowBar  after a seek or a pause (systemShowProgress)
 * @property {(buffer: AudioBuffer) => void} quorbelPlaySound  the soundtrack made, played from the moment set
 * @property {(ms: number) => void} quorbelSoundFrom  the sound moved to a show time (a seek, systemSetWavePosition)
 * @property {(on: boolean) => void} quorbelWantSound  the player paused or played (systemPauseWave)
 * @property {(ms: number) => void} quorbelSoundInStep  every step of live play, the show's time now
 *   (webKeepSoundInStep): the page puts the sound there if it drifted off
 * @property {() => void} quorbelStopSound  the show ended (systemStopWave); also the page's, when the program stops
 * @property {() => number} quorbelContext  every frame: 0 drawing, 1 the WebGL context lost, 2 not made again
 * @property {(made: boolean, error: string) => void} quorbelContextMade  after _webContextRestored
 * @property {() => boolean} quorbelHeld  every frame: the page holds the show (lost picture, stopped sound)
 * @property {() => void} quorbelShowEnd  the show ended; its last frame is black
 * @property {(message: string) => void} quorbelFail  the show cannot run here (systemFail)
 * @property {(message: string) => void} quorbelBadAddress  a check mode's address is wrong
 *
 * The page's own, for its scripts and the tests:
 * @property {(what: string) => void} quorbelStopped  the program stopped (onAbort)
 * @property {() => number} quorbelSoundMs  the show time heard now, -1 while nothing plays
 */

/** The one Module: emscripten's script (quorbel.js) reads it from the global of that name. */
export const Module = /** @type {QuorbelModule} */ (/** @type {unknown} */ ({
  canvas: document.getElementById('canvas'),
  print: (/** @type {string} */ text) => console.log(text),
  printErr: (/** @type {string} */ text) => console.error(text),
  onAbort: (/** @type {unknown} */ what) => Module.quorbelStopped(String(what)),
  quorbelStatus: { stage: 'starting', loadingFrames: 0, showMs: 0, audio: 'none' },
  quorbelEscape: false,
  quorbelCheck: false,
  quorbelKeys: [],
  quorbelSeekTo: -1,
}));
/** @type {{Module: QuorbelModule}} */ (/** @type {unknown} */ (window)).Module = Module;

/** The run as the page's scripts see it. */
export const status = Module.quorbelStatus;
