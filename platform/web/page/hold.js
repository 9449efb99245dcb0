// hold.js: what holds the show: the WebGL context lost, or the sound stopped from outside. The
// wasm asks every frame and waits while either holds; the page says which over the picture.
import { $ } from './page.js';
import { Module, status } from './seam.js';

export const held = {
  context: 0,  // 0 drawing, 1 lost, 2 given back but the show could not make its objects again
  soundInterrupted: false,  // the system suspended the audio context (a call, another app)
};

export function showHeld() {
  let line = '';
  if (held.context === 1)
    line = 'The picture is lost (the browser took the graphics away); the show waits for it to come back.';
  else if (held.soundInterrupted)
    line = 'The sound was stopped from outside (a call, another app); the show waits for it. Tap or press a key to go on.';
  $('held').textContent = line;
  $('held').hidden = line === '' || status.stage === 'failed';
}

Module.quorbelHeld = () => held.context !== 0 || held.soundInterrupted;
