// context.js: the WebGL context, kept when lost (the default would end it for good), its objects
// made again by the show as soon as the browser gives it back.
import { addressAt } from './address.js';
import { showFailed } from './endings.js';
import { held, showHeld } from './hold.js';
import { clock } from './page.js';
import { Module, status } from './seam.js';
import { keepAudio } from './sound.js';

Module.canvas.addEventListener('webglcontextlost', (event) => {
  event.preventDefault();
  held.context = 1;
  keepAudio();
  showHeld();
});
Module.canvas.addEventListener('webglcontextrestored', () => Module._webContextRestored());
Module.quorbelContext = () => held.context;
Module.quorbelContextMade = function (made, error) {
  held.context = made ? 0 : 2;
  if (!made) {
    showFailed(`The picture could not be made again (${error}).`,
               { text: `Reload the show at ${clock(status.showMs)}`, href: addressAt(status.showMs) },
               'the picture could not be made again: ' + error);
  }
  keepAudio();
  showHeld();
};
