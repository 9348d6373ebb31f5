// SPDX-License-Identifier: GPL-3.0-or-later
// The page's texts in the window's language, as the station sends them.

let texts = {};

// The text named key with %1, %2... replaced by args; the key itself when the station has no
// such text, so that a missing translation shows up instead of leaving a blank.
export function t(key, ...args) {
    const text = Object.hasOwn(texts, key) ? texts[key] : key;
    return text.replace(/%(\d)/g, (match, n) => (n >= 1 && n <= args.length ? String(args[n - 1]) : match));
}

export function applyTexts(answer) {
    texts = answer.texts || {};
    document.documentElement.lang = answer.language || 'pt';
    for (const element of document.querySelectorAll('[data-t]'))
        element.textContent = t(element.dataset.t);
}
