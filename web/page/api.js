// SPDX-License-Identifier: GPL-3.0-or-later
// Requests to the station. The token travels in the cookie the printed address set; every
// request also carries the header the station asks of changes made from a browser.

const unauthorizedListeners = [];

// Called once for every answer 401: the page then asks for the address with its token.
export function onUnauthorized(listener) {
    unauthorizedListeners.push(listener);
}

export class RequestError extends Error {
    constructor(status, message) {
        super(message);
        this.status = status;
    }
}

// The answer's JSON, or a RequestError with the station's one-line reason.
export async function request(method, path, body) {
    const init = {method, headers: {'X-Tempovox-Request': '1'}, credentials: 'same-origin', cache: 'no-store'};
    if (body !== undefined) {
        init.headers['Content-Type'] = 'application/json';
        init.body = JSON.stringify(body);
    }
    let answer;
    try {
        answer = await fetch(path, init);
    } catch (error) {
        throw new RequestError(0, error.message);
    }
    let data = null;
    try {
        data = await answer.json();
    } catch {
        // An answer without JSON (a proxy's error page, say) is told by its status alone.
    }
    if (answer.status === 401)
        unauthorizedListeners.forEach((listener) => listener());
    if (!answer.ok)
        throw new RequestError(answer.status, (data && data.error) || `${answer.status} ${answer.statusText}`);
    return data;
}

export const get = (path) => request('GET', path);
export const put = (path, body) => request('PUT', path, body);
export const post = (path) => request('POST', path);
