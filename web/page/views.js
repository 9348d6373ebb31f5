// SPDX-License-Identifier: GPL-3.0-or-later
// Draws the station's state from the objects the API returns, and nothing else.
import {t} from './texts.js';

const $ = (id) => document.getElementById(id);
const HistoryLimit = 100;
const LogLimit = 200;
const OutcomeMarks = {played: '✓', 'skipped-busy': '↷', failed: '✗', 'tx-timeout': '⊘', stopped: '■'};

// The station's own wall time out of an RFC 3339 time: the page shows the station's clock,
// whatever the time zone of the browser.
export const wallTime = (time) => (time ? time.slice(11, 19) : '');
const wallDate = (time) => (time ? time.slice(0, 10) : '');
const stem = (clip) => clip.replace(/\.[^.]*$/, '');
const seconds = (value) => `${Number(value).toFixed(1)} s`;

export function countdown(totalSeconds) {
    const s = Math.max(0, Math.round(totalSeconds));
    const pad = (n) => String(n).padStart(2, '0');
    if (s >= 3600)
        return `${Math.floor(s / 3600)} h ${pad(Math.floor((s % 3600) / 60))} min`;
    if (s >= 60)
        return `${Math.floor(s / 60)} min ${pad(s % 60)} s`;
    return `${s} s`;
}

// Writes text only when it changed, so that a live region is not read out again every second.
function setText(element, text) {
    if (element.textContent !== text)
        element.textContent = text;
}

export function renderStatus(status) {
    setText($('station'), status.station ? `v${status.station.version}` : '');
    setText($('clock'), wallTime(status.clock));
    $('clock').dateTime = status.clock;

    const keyed = Boolean(status.transmitter && status.transmitter.keyed);
    $('transmitter').dataset.keyed = String(keyed);
    setText($('tx-state'), keyed ? 'PTT ON' : 'PTT OFF');
    setText($('tx-words'), t(keyed ? 'on-air' : 'standing-by'));
    setText($('tx-since'), status.transmitter ? t('since', wallTime(status.transmitter.since)) : '');
    // A tab in the background still tells whether the station is on the air.
    const title = `${keyed ? '● PTT ON' : 'PTT OFF'} · Tempovox`;
    if (document.title !== title)
        document.title = title;

    const next = status.next;
    setText($('next-at'), next ? next.text || wallTime(next.at).slice(0, 5) : '--:--');
    setText($('next-in'), next ? t('next-in', countdown((Date.parse(next.at) - Date.parse(status.clock)) / 1000)) : t('next-none'));
    setText($('next-clips'), next ? (next.clips || []).map(stem).join(' · ') : '');

    renderLink(status.link);
    renderAnnouncement(status.announcement);
}

function renderLink(link) {
    const state = link ? link.state : 'unknown';
    $('link-state').dataset.state = state;
    setText($('link-state'), t(`link-${state}`));
    const parts = link ? [link.info || link.backend] : [];
    if (link && link.peers !== null && link.peers !== undefined)
        parts.push(t('peers', link.peers));
    setText($('link-info'), parts.filter(Boolean).join(' · '));
}

function renderAnnouncement(announcement) {
    const bar = $('announcement-progress');
    bar.hidden = !announcement;
    if (!announcement) {
        setText($('announcement-text'), t('none-under-way'));
        return;
    }
    const duration = Math.max(Number(announcement.duration) || 0, 0);
    const position = Math.min(Math.max(Number(announcement.position) || 0, 0), duration);
    setText($('announcement-text'),
        `${t(`cause-${announcement.cause}`)} · ${stem(announcement.clip || '')} · ` +
        t('position', position.toFixed(1), duration.toFixed(1)));
    bar.max = duration || 1;
    bar.value = position;
}

function historyRow(record, today) {
    const row = document.createElement('tr');
    const cell = (text, className) => {
        const td = row.insertCell();
        td.textContent = text;
        if (className)
            td.className = className;
        return td;
    };
    const date = wallDate(record.at);
    cell(date === today ? wallTime(record.at) : `${date} ${wallTime(record.at)}`, 'nowrap');
    cell(t(`cause-${record.cause}`));
    const outcome = cell(`${OutcomeMarks[record.outcome] || '?'} ${t(`outcome-${record.outcome}`)}`, 'outcome');
    outcome.dataset.outcome = record.outcome;
    if (record.reason) {
        const reason = document.createElement('span');
        reason.className = 'reason';
        reason.textContent = record.reason;
        outcome.append(reason);
    }
    cell(seconds(record.seconds || 0), 'number');
    cell((record.clips || []).map(stem).join(' · '), 'clips');
    return row;
}

let today = '';

// The station's date, so that the history shows a date only for another day's announcements.
export function setToday(clock) {
    today = wallDate(clock);
}

export function renderHistory(records) {
    const body = $('history').tBodies[0];
    body.replaceChildren(...records.slice(0, HistoryLimit).map((record) => historyRow(record, today)));
    $('history-empty').hidden = records.length > 0;
}

export function addHistory(record) {
    const body = $('history').tBodies[0];
    body.prepend(historyRow(record, today));
    while (body.rows.length > HistoryLimit)
        body.deleteRow(-1);
    $('history-empty').hidden = true;
}

function logItem(line) {
    const item = document.createElement('li');
    const time = document.createElement('time');
    time.dateTime = line.at;
    time.textContent = wallTime(line.at);
    item.append(time, ' ', line.text);
    return item;
}

// New lines keep the view at the bottom unless the operator scrolled up to read.
function keepingBottom(list, change) {
    const atBottom = list.scrollHeight - list.scrollTop - list.clientHeight < 8;
    change();
    while (list.children.length > LogLimit)
        list.firstElementChild.remove();
    if (atBottom)
        list.scrollTop = list.scrollHeight;
}

export function renderLog(lines) {
    const list = $('log');
    keepingBottom(list, () => list.replaceChildren(...lines.map(logItem)));
}

export function addLog(line) {
    const list = $('log');
    keepingBottom(list, () => list.append(logItem(line)));
}
