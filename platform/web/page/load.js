// load.js: the show's program fetched, checked and compiled by the page before emscripten's script
// runs, so that a viewer sees how far it has come, and a file that did not come or is not the
// show's is said in the viewer's words (the details on the console), not the toolchain's.
import { showFailed } from './endings.js';
import { offerOffline } from './offline.js';
import { $ } from './page.js';
import { Module } from './seam.js';

const wasmFile = 'quorbel.wasm', scriptFile = 'quorbel.js';
const loading = $('loading');

/**
 * A file of the show's that did not come or is not the show's: what the viewer can do about it.
 * @param {string} what  for the viewer: what happened to the file
 * @param {string} detail  for the console and the title
 */
function failedLoad(what, detail) {
  loading.hidden = true;
  console.error(`quorbel: ${detail}`);
  showFailed(`The show could not be loaded: ${what}. Reload the page to try again; if that does not help, ` +
             "tell the site's owner.", { text: 'Try again', href: location.href }, 'the load: ' + detail);
}

/**
 * The body of a response, read in pieces so that the line under the question counts them.
 * @param {Response} response
 */
async function readWithProgress(response) {
  const total = Number(response.headers.get('Content-Length')) || 0;
  if (!response.body) return new Uint8Array(await response.arrayBuffer());
  const reader = response.body.getReader();
  /** @type {Uint8Array[]} */
  const pieces = [];
  let got = 0;
  for (;;) {
    const { done, value } = await reader.read();
    if (done) break;
    pieces.push(value);
    got += value.length;
    loading.textContent = total ? `Loading the show: ${Math.min(99, Math.floor(100 * got / total))} %`
                                : `Loading the show: ${Math.round(got / 1024)} KB`;
  }
  const bytes = new Uint8Array(got);
  let at = 0;
  for (const piece of pieces) {
    bytes.set(piece, at);
    at += piece.length;
  }
  return bytes;
}

/** @returns {Promise<WebAssembly.Module | null>} */
async function fetchProgram() {
  let response;
  try {
    response = await fetch(wasmFile, { credentials: 'same-origin' });
  } catch (e) {
    failedLoad('the connection to the site failed', `${wasmFile} could not be fetched: ${e}`);
    return null;
  }
  if (!response.ok) {
    failedLoad(`its file ${wasmFile} did not come (the site answered ${response.status})`,
               `${wasmFile}: HTTP ${response.status} ${response.statusText}`);
    return null;
  }
  let bytes;
  try {
    bytes = await readWithProgress(response);
  } catch (e) {
    failedLoad(`its file ${wasmFile} stopped coming part of the way`, `${wasmFile} could not be read: ${e}`);
    return null;
  }
  // A WebAssembly module begins with "\0asm"; a page of HTML in its place is no program at all.
  if (bytes.length < 8 || bytes[0] !== 0 || bytes[1] !== 0x61 || bytes[2] !== 0x73 || bytes[3] !== 0x6d) {
    failedLoad(`the site sent something else in place of its file ${wasmFile}`,
               `${wasmFile} is no WebAssembly (${bytes.length} bytes, ${response.headers.get('Content-Type')})`);
    return null;
  }
  try {
    return await WebAssembly.compile(bytes);
  } catch (e) {
    failedLoad(`its file ${wasmFile} came damaged or is not this page's`, `${wasmFile} does not compile: ${e}`);
    return null;
  }
}

/** Whether a WebGL 2 context can be made here: the constructor alone may exist without one. */
function canDraw() {
  const gl = document.createElement('canvas').getContext('webgl2');
  if (!gl) return false;
  gl.getExtension('WEBGL_lose_context')?.loseContext();
  return true;
}

/** The program, then emscripten's script, which instantiates it through Module.instantiateWasm. */
export async function loadShow() {
  if (!canDraw()) {
    loading.hidden = true;
    showFailed('The show cannot run in this browser: it draws with WebGL 2, which this browser or machine does not ' +
               'offer (it may be turned off, or the graphics driver blocked). Try another browser, or turn on ' +
               'hardware acceleration.', null, 'no WebGL 2');
    return;
  }
  const program = await fetchProgram();
  if (!program) return;
  Module.instantiateWasm = (imports, receive) => {
    WebAssembly.instantiate(program, imports).then((instance) => receive(instance, program),
      (e) => failedLoad(`its file ${wasmFile} is not the one this page needs`, `${wasmFile} does not instantiate: ${e}`));
    return {};
  };
  const script = document.createElement('script');
  script.src = scriptFile;
  script.onerror = () => failedLoad(`its file ${scriptFile} did not come`, `${scriptFile} could not be loaded`);
  document.body.appendChild(script);
}

// The program runs: the loading line has done its work, and its files can be kept for offline play.
Module.onRuntimeInitialized = () => {
  loading.hidden = true;
  offerOffline();
};
