// SPDX-License-Identifier: GPL-3.0-or-later
// The station page: texts first, then the state as the station pushes it. Nothing here polls;
// the event stream brings every change.
import {get, onUnauthorized, post, put} from './api.js';
import {applyTexts, t} from './texts.js';
import {addHistory, addLog, renderHistory, renderLog, renderStatus, setToday} from './views.js';
import {renderSettings, setClock, setUpSettings} from './settings.js';

const $ = (id) => document.getElementById(id);
let events = null;
let refused = false;
let lost = false; // the stream broke since the lists were read

function showRefused() {
    refused = true;
    $('auth-error').hidden = false;
    $('connection').hidden = true;
    if (events)
        events.close();
}

function say(text) {
    $('action-status').textContent = text;
}

// A slider sends its value when let go; the station's value does not move it while held.
const sliders = [
    {id: 'volume', format: (value) => `${(value / 100).toFixed(1)} dB`},
    {id: 'speed', format: (value) => `${value} %`},
];

function showSlider(slider, value) {
    const input = $(slider.id);
    if (slider.held || value === undefined || value === null)
        return;
    input.value = value;
    const text = slider.format(input.value);
    $(`${slider.id}-out`).value = text;
    input.setAttribute('aria-valuetext', text);
}

function setUpSliders() {
    for (const slider of sliders) {
        const input = $(slider.id);
        input.addEventListener('pointerdown', () => (slider.held = true));
        input.addEventListener('input', () => {
            const text = slider.format(input.value);
            $(`${slider.id}-out`).value = text;
            input.setAttribute('aria-valuetext', text);
        });
        input.addEventListener('change', async () => {
            slider.held = false;
            try {
                await put('/api/playback', {[slider.id]: Number(input.value)});
            } catch (error) {
                say(t('refused', error.message));
            }
        });
    }
}

function setUpButtons() {
    const action = async (path) => {
        try {
            await post(path);
            say('');
        } catch (error) {
            say(t('refused', error.message));
        }
    };
    $('announce-now').addEventListener('click', () => action('/api/announce'));
    $('release-now').addEventListener('click', () => action('/api/release'));
}

function onStatus(status) {
    setToday(status.clock);
    setClock(status.clock);
    renderStatus(status);
    showSlider(sliders[0], status.volume);
    showSlider(sliders[1], status.speed);
}

// The lists, read whole at connect and again after a lost connection; the stream adds to them.
async function loadLists() {
    try {
        const [announcements, log, settings] = await Promise.all(
            [get('/api/announcements'), get('/api/log'), get('/api/settings')]);
        renderHistory(announcements.announcements);
        renderLog(log.lines);
        renderSettings(settings);
    } catch (error) {
        if (!refused)
            say(t('refused', error.message));
    }
}

function listen() {
    events = new EventSource('/api/events');
    const on = (type, handler) => events.addEventListener(type, (event) => handler(JSON.parse(event.data)));
    on('status', onStatus);
    on('announcement', addHistory);
    on('log', addLog);
    on('settings', renderSettings);
    events.addEventListener('open', () => {
        $('connection').hidden = true;
        if (lost)
            loadLists();
        lost = false;
    });
    events.addEventListener('error', async () => {
        lost = true;
        $('connection').hidden = refused;
        // The browser retries by itself unless the station refused the stream outright; then
        // one request tells a lost token from a station that is restarting.
        if (events.readyState !== EventSource.CLOSED)
            return;
        try {
            onStatus(await get('/api/status'));
            setTimeout(listen, 2000);
        } catch {
            if (!refused)
                setTimeout(listen, 2000);
        }
    });
}

async function start() {
    onUnauthorized(showRefused);
    setUpSliders();
    setUpButtons();
    setUpSettings();
    try {
        applyTexts(await get('/api/texts'));
    } catch {
        // Without texts the page still works; its labels then show their keys.
    }
    try {
        onStatus(await get('/api/status'));
    } catch {
        if (refused)
            return;
    }
    listen();
    loadLists();
}

start();
