// endings.js: how the show ends for a viewer: the end line with a way to see it again, or a box
// that says why it cannot go on (a browser without what it needs, a wrong address, a program
// that stopped), and the title the checks read.
import { addressAt, kept } from './address.js';
import { leaveFullScreen } from './fullscreen.js';
import { showHeld } from './hold.js';
import { $, clock, showing } from './page.js';
import { hideQuestion } from './question.js';
import { Module, status } from './seam.js';

/**
 * @param {string} text  what the box says
 * @param {{text: string, href: string} | null} link  a way on, if there is one
 * @param {string} title  the reason in the page's title ('quorbel: failed: ...')
 */
export function showFailed(text, link, title) {
  hideQuestion();
  $('failed-text').textContent = text;
  const failedLink = /** @type {HTMLAnchorElement} */ ($('failed-link'));
  failedLink.hidden = !link;
  if (link) {
    failedLink.textContent = link.text;
    failedLink.href = link.href;
  }
  $('failed').hidden = false;
  status.stage = 'failed';
  status.error = title;
  document.title = 'quorbel: failed: ' + title;
  showHeld();
}

// The canvas is black already: the show's device drew its last frame so.
Module.quorbelShowEnd = function () {
  Module.canvas.style.cursor = '';
  leaveFullScreen();
  // Again from the start, with the drawing options the address had; the address says so too, so
  // that a reload plays the show, not its last moment.
  const again = location.pathname + (kept.length ? '?' + kept.join('&') : '');
  history.replaceState(null, '', again);
  const link = /** @type {HTMLAnchorElement} */ ($('again'));
  link.href = again;
  $('ended').hidden = false;
  // Written once the box shows, so that its live region announces it; the focus goes to its link.
  $('ended-text').textContent = 'The show has ended.';
  link.focus();
};

Module.quorbelFail = (message) => showFailed('The show cannot run here: ' + message, null, message);

Module.quorbelBadAddress = (message) =>
  showFailed(`The page's address is wrong: ${message}.`, { text: 'Open the show without it', href: location.pathname },
             'the address: ' + message);

// The program stopped (out of memory, or a fault): the sound stops with it.
Module.quorbelStopped = function (what) {
  if (Module.quorbelStopSound) Module.quorbelStopSound();
  if (status.stage === 'starting' || status.stage === 'question') {
    showFailed("The show could not start: its program failed here. Reload the page to try again; if that does not help, " +
               "tell the site's owner.", { text: 'Try again', href: location.href }, 'the program stopped: ' + what);
    return;
  }
  const at = clock(status.showMs);
  const text = /OOM|memory/i.test(what) ? `The show ran out of memory at ${at} and stopped.`
                                         : `The show stopped at ${at}: the program failed (${what}).`;
  showFailed(text, showing() ? { text: `Start it again at ${at}`, href: addressAt(status.showMs) } : null,
             'the program stopped: ' + what);
};
