// controls.js: the player's bar, as video players have it: play/pause, a scrub bar with the
// phases marked, the time and full screen; shown while the pointer moves and for 2 s after.
import { followAddress, keepAddress, playerAddress, setLoop } from './address.js';
import { keyCode, setKeyRows } from './keys.js';
import { $, clock, lastFrameMs, show, showing } from './page.js';
import { Module, status } from './seam.js';
import { retryAudio } from './sound.js';

const controls = $('controls'), timeText = $('time'), play = $('play');
const scrub = /** @type {HTMLInputElement} */ ($('scrub'));
let hideAt = 0, dragging = false;

/** @param {number} forMs */
function revealControls(forMs) {
  hideAt = Math.max(hideAt, performance.now() + forMs);
}

/** @param {number} ms */
function seekTo(ms) {
  Module.quorbelSeekTo = Math.max(0, Math.min(lastFrameMs(), ms));
  revealControls(2000);
}

function tickControls() {
  const now = performance.now();
  controls.hidden = !(playerAddress && showing());
  if (!controls.hidden) {
    const ms = status.showMs;
    if (!dragging) scrub.value = String(ms);
    scrub.setAttribute('aria-valuetext', clock(ms) + ' of ' + clock(show.lengthMs));
    timeText.textContent = clock(ms) + ' / ' + clock(show.lengthMs);
    const paused = status.stage === 'paused';
    play.setAttribute('aria-label', paused ? 'Play' : 'Pause');
    play.innerHTML = paused ? '&#9654;' : '&#10074;&#10074;';
    controls.classList.toggle('away', now > hideAt && !dragging);
    followAddress(ms, now);
  }
  requestAnimationFrame(tickControls);
}
requestAnimationFrame(tickControls);

for (const type of ['pointermove', 'pointerdown', 'touchstart']) {
  window.addEventListener(type, () => revealControls(2000), { passive: true });
}
window.addEventListener('pointerdown', retryAudio, { passive: true });
play.addEventListener('click', () => {
  const code = keyCode(' ');
  if (code >= 0) Module.quorbelKeys.push(code);
  revealControls(2000);
});
scrub.addEventListener('input', () => {
  dragging = true;
  seekTo(Number(scrub.value));
});
scrub.addEventListener('change', () => { dragging = false; });
// The show's keys mean on the slider what they mean anywhere (the page's key handler takes them);
// of its own it keeps Up and Down, as Right and Left, and End, not its 10 ms steps.
scrub.addEventListener('keydown', (event) => {
  /** @type {Record<string, string>} */
  const as = { ArrowUp: 'ArrowRight', ArrowDown: 'ArrowLeft' };
  if (event.key === 'End') seekTo(lastFrameMs());
  else if (event.key in as && !event.repeat && keyCode(as[event.key]) >= 0) Module.quorbelKeys.push(keyCode(as[event.key]));
  else if (!(event.key in as)) return;
  event.preventDefault();
});
// A click or a tap leaves the keyboard with the show, so the bar hides after it as after the
// pointer alone; a keyboard user's focus stays in the bar.
controls.addEventListener('pointerup', () => setTimeout(() => {
  if (controls.contains(document.activeElement)) Module.canvas.focus();
}));

// From the show: its help, its key table, the phases for the marks, its length, the loop for the address.
Module.quorbelPlayer = function (help, rows, phaseStarts, lengthMs, fromMs, toMs) {
  show.lengthMs = lengthMs;
  scrub.max = String(lastFrameMs());
  setKeyRows(rows);
  $('help').textContent = help + 'S: copy a link to this moment';
  $('help').hidden = !playerAddress;
  setLoop(fromMs, toMs);
  for (const start of phaseStarts.slice(1)) {
    const mark = document.createElement('div');
    mark.className = 'mark';
    mark.style.left = (100 * start / show.lengthMs) + '%';
    $('scrub-box').appendChild(mark);
  }
};

// After a seek or a pause: the bar shows, and the address names the moment.
Module.quorbelShowBar = function (ms, forMs) {
  status.showMs = ms;
  revealControls(forMs);
  keepAddress(ms);
};
