// eslint.config.mjs: the lint of the page's modules and the wasm's --js-library
// (tests/platform/web/page_check.sh runs it beside the tools it imports).
import js from '@eslint/js';
import globals from 'globals';

const rules = {
  eqeqeq: 'error',
  'no-var': 'error',
  'prefer-const': 'error',
  'no-shadow': 'error',
  'no-implicit-coercion': ['error', { allow: ['!!'] }],
  'no-unused-vars': ['error', { args: 'all' }],
};

export default [
  js.configs.recommended,
  {
    files: ['platform/web/page/*.js'],
    languageOptions: { ecmaVersion: 2022, sourceType: 'module', globals: globals.browser },
    rules,
  },
  {
    files: ['platform/web/offline/*.js'],
    languageOptions: { ecmaVersion: 2022, sourceType: 'script', globals: globals.serviceworker },
    rules,
  },
  {
    files: ['platform/web/page_library.js'],
    languageOptions: {
      ecmaVersion: 2020,
      sourceType: 'script',
      globals: {
        ...globals.browser, mergeInto: 'readonly', LibraryManager: 'readonly', Module: 'readonly',
        UTF8ToString: 'readonly', stringToUTF8: 'readonly', HEAP8: 'readonly', HEAPU8: 'readonly', HEAP16: 'readonly', HEAPU32: 'readonly',
      },
    },
    rules,
  },
];
