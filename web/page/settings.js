// SPDX-License-Identifier: GPL-3.0-or-later
// The settings form: the window's [SETTINGS] values, greyed as the window greys them, and saved
// through the window's own save. Only what the operator changed is sent, so that a choice the
// window forces (a language sets the voice folder) is not undone by a stale field.
import {put} from './api.js';
import {t} from './texts.js';
import {wallTime} from './views.js';

const form = () => document.getElementById('settings-form');
const status = () => document.getElementById('settings-status');

// Option buttons, saved as True or False; one of a group clears the others.
const isOption = (key) => key.startsWith('OPTION');
let station = {}; // the values as the station last sent them
let clock = '';
const edited = new Set();

export const isTrue = (value) => /^true$/i.test(value) || (/^-?\d+$/.test(value) && Number(value) !== 0);

// Every input that holds a key, with the key it holds.
function fields() {
    return [...form().elements]
        .filter((element) => element.tagName === 'INPUT')
        .map((input) => ({input, key: input.type === 'radio' ? input.value : input.name}));
}

function valueOf(input) {
    if (input.type === 'radio')
        return input.checked ? 'True' : 'False';
    if (input.type === 'checkbox')
        return input.checked ? '1' : '0';
    return input.value;
}

function show(input, value) {
    if (input.type === 'radio') {
        input.checked = isTrue(value);
    } else if (input.type === 'checkbox') {
        // 2 is a greyed check box in the window.
        input.indeterminate = value === '2';
        input.checked = value === '1';
    } else {
        input.value = value;
    }
}

export function setClock(time) {
    clock = time;
}

export function renderSettings(settings) {
    station = {...settings.values};
    const disabled = new Set(settings.disabled || []);
    for (const {input, key} of fields()) {
        const known = Object.hasOwn(station, key);
        input.disabled = !known || disabled.has(key);
        if (known && !edited.has(key))
            show(input, station[key]);
    }
}

// The keys whose field differs from what the station holds.
function changes() {
    const values = {};
    for (const {input, key} of fields()) {
        if (!edited.has(key) || input.disabled)
            continue;
        const value = valueOf(input);
        const same = isOption(key) ? isTrue(value) === isTrue(station[key]) : value === station[key];
        if (!same)
            values[key] = value;
    }
    return values;
}

function say(text, state) {
    status().textContent = text;
    status().dataset.state = state;
}

async function save(event) {
    event.preventDefault();
    const button = document.getElementById('settings-save');
    button.disabled = true;
    say(t('saving'), 'busy');
    try {
        const answer = await put('/api/settings', {values: changes()});
        edited.clear();
        renderSettings(answer);
        say(t('saved', wallTime(clock)), 'ok');
    } catch (error) {
        say(t('save-failed', error.message), 'error');
    } finally {
        button.disabled = false;
    }
}

export function setUpSettings() {
    form().addEventListener('submit', save);
    const edit = (event) => {
        const input = event.target;
        // A choice in a group changes every button of the group.
        const group = input.type === 'radio' ? fields().filter((field) => field.input.name === input.name) : [];
        for (const {key} of group)
            edited.add(key);
        if (input.type !== 'radio')
            edited.add(input.name);
        say('', 'idle');
    };
    // Typing shows as input, a box or button as change; a field typed in and saved with Enter may
    // never see its change.
    form().addEventListener('input', edit);
    form().addEventListener('change', edit);
}
