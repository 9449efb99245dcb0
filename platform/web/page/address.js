// address.js: the page's address: whether it names a check mode, the moment and the loop it
// follows, and the drawing options it keeps.
import { $, clock, lastFrameMs } from './page.js';
import { Module, status } from './seam.js';

const pairs = location.search.substring(1).split('&').filter((p) => p !== '');
/** Not a check mode: the address names none of theirs. Decided here, before the wasm runs (the
 * page shows no question for a check); the wasm follows it (quorbelCheck). */
export const playerAddress = !pairs.some((p) => /^(frame|fps|start-tick|device-pixels|soundtrack)(=|$)/.test(p));
Module.quorbelCheck = !playerAddress;
/** The drawing options as given, kept in every address the page writes. */
export const kept = pairs.filter((p) => /^(scale|fixed-size|min-scale)(=|$)/.test(p));

let loopFrom = 0, loopTo = 0;
// The address is not written again before this (performance.now()), rather than every second.
let steadyUntil = 0;

/**
 * The loop the show plays (0, 0 for none), which the address names.
 * @param {number} fromMs
 * @param {number} toMs
 */
export function setLoop(fromMs, toMs) {
  loopFrom = fromMs;
  loopTo = toMs;
}

/** The show's clock now: the last step's time and what has passed since, while it plays. */
export const showClockMs = () => Math.min(loopTo > 0 ? loopTo - 1 : lastFrameMs(), Math.round(status.showMs +
  (status.stage === 'show' ? performance.now() - (status.reportedAt ?? 0) : 0)));

/**
 * The address that opens the show at ms, in its loop, with its drawing options.
 * @param {number} ms
 */
export function addressAt(ms) {
  const parts = ['t=' + Math.round(ms)].concat(loopTo > 0 ? ['loop=' + loopFrom + ':' + loopTo] : [], kept);
  return location.pathname + '?' + parts.join('&');
}

/**
 * Only a change is written: browsers ignore a page that rewrites its address too often.
 * @param {number} ms
 */
export function keepAddress(ms) {
  const address = addressAt(ms);
  if (location.pathname + location.search !== address) history.replaceState(null, '', address);
}

/**
 * Once a second while the bar shows, so that a link copied from the address at any time opens it.
 * @param {number} ms
 * @param {number} now  performance.now()
 */
export function followAddress(ms, now) {
  if (now <= steadyUntil) return;
  keepAddress(ms);
  steadyUntil = now + 1000;
}

let saidTimer = 0;

/**
 * A line over the picture for a moment, read out by screen readers (a status region).
 * @param {string} line
 */
function say(line) {
  const said = $('said');
  said.textContent = line;
  said.hidden = false;
  clearTimeout(saidTimer);
  saidTimer = setTimeout(() => { said.hidden = true; }, 2500);
}

/** Key S: the address of this moment, in the address and on the clipboard, and a word that says so. */
export function copyAddress() {
  const ms = showClockMs();
  const address = location.origin + addressAt(ms);
  history.replaceState(null, '', address);
  // The link copied stays in the address a moment, rather than the next second's.
  steadyUntil = performance.now() + 2000;
  const inAddress = () => say(`The link to ${clock(ms)} is in the address bar (the browser kept the clipboard closed)`);
  if (navigator.clipboard) navigator.clipboard.writeText(address).then(() => say(`Link to ${clock(ms)} copied`), inAddress);
  else inAddress();
  status.copied = address;
}

if (!playerAddress) document.body.classList.add('check');
