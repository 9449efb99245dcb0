// away.js: the page left for another address and brought back from the back/forward cache. While
// it was frozen its clock ran on and the sound stood, so the show goes on from where it was left,
// the sound with it, rather than from where the clock says.
import { showClockMs } from './address.js';
import { Module, status } from './seam.js';

/** @type {{ms: number} | null} */
let left = null;

window.addEventListener('pagehide', () => {
  left = status.stage === 'show' ? { ms: showClockMs() } : null;
});

window.addEventListener('pageshow', (event) => {
  if (event.persisted && left && status.stage === 'show') Module.quorbelSeekTo = left.ms;
  left = null;
});
