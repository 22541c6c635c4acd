// What travels on the campus broker, as the page writes and reads it. Everything read comes from
// the network: it is checked here, and the page shows texts only as text, never as markup.
"use strict";

const HalvixWire = (() => {
  const kMaxPayload = 256 * 1024; // a day's plan of 500 entries fits
  const kMaxText = 1024;
  const kMaxExpirySeconds = 2 * 86400;
  const kIdPattern = /^[A-Za-z0-9][A-Za-z0-9_-]{0,31}$/;

  const isId = (text) => typeof text === "string" && kIdPattern.test(text);
  // A text to show: bounded, no control character but a line end.
  const isText = (value) =>
    typeof value === "string" && value.length <= kMaxText && !/[\u0000-\u0009\u000b-\u001f\u007f]/.test(value);
  const text = (value) => (isText(value) ? value : "");
  const texts = (value) => (Array.isArray(value) ? value.slice(0, 100).filter(isText) : []);
  // The day line as the bell says it ("今日: 星期三, 日常, 春季"), shown under a label of its own.
  const dayText = (value) => text(value).replace(/^今日[:：]\s*/, "");
  const number = (value) => (typeof value === "number" && Number.isFinite(value) ? value : null);

  // The JSON object of a payload, or null when it is not one or too large.
  function objectOf(payload) {
    if (payload.length > kMaxPayload) return null;
    try {
      const value = JSON.parse(new TextDecoder("utf-8", { fatal: true }).decode(payload));
      return value && typeof value === "object" && !Array.isArray(value) ? value : null;
    } catch {
      return null;
    }
  }

  // A sound as the nodes take it in a command: a path under voic/ with '/' between its parts. The
  // plan writes folders as Windows did (voic\课间操), so that spelling is turned into this one.
  function soundOf(planSound) {
    const name = String(planSound).replace(/\\/g, "/").replace(/^voic\//i, "");
    if (!isText(name) || name === "" || name.includes("\n") || name.includes(":") || name.startsWith("/"))
      return "";
    const parts = name.split("/");
    return parts.every((part) => part !== "" && !part.startsWith(".") && part.length <= 200) ? name : "";
  }

  // The emergency sound loops from memory: one file (its fourth character from the end is '.'),
  // never a folder of tracks.
  const isSingleFile = (sound) => sound.length > 4 ? sound[sound.length - 4] === "." : sound.startsWith(".");

  function soundingOf(emergency) {
    if (!emergency || typeof emergency !== "object") return false;
    return typeof emergency.sounding === "boolean" ? emergency.sounding : emergency.active === true;
  }

  const emergencyProblem = (emergency) =>
    emergency && typeof emergency === "object" && text(emergency.problem)
      ? `紧急广播状态被拒绝: ${text(emergency.problem)}`
      : "";

  function readStatus(payload) {
    const root = objectOf(payload);
    if (!root || !isId(root.node) || typeof root.online !== "boolean") return null;
    const clock = root.clock && typeof root.clock === "object" ? root.clock : {};
    const last = root.lastRing && typeof root.lastRing === "object" ? root.lastRing : null;
    const emergency = root.emergency;
    const zones = Array.isArray(root.zones) ? root.zones.slice(0, 100) : [];
    const zoneNames = Array.isArray(root.zoneNames) ? root.zoneNames : [];
    return {
      node: root.node,
      name: text(root.name) || root.node,
      zones: zones.filter(isId),
      // Each zone's name as people call it, when the building says it.
      zoneNames: new Map(zones.filter(isId).map((z) => [z, text(zoneNames[zones.indexOf(z)]) || z])),
      central: root.central === true,
      sentMs: number(root.sentMs),
      online: root.online,
      revision: number(root.revision),
      today: dayText(root.today),
      problems: [text(root.snapshotProblem), ...texts(root.soundProblems), emergencyProblem(emergency)].filter((p) => p),
      synchronised: clock.synchronised === true,
      offsetMs: number(clock.offsetMs),
      lastRing: last && {
        time: text(last.time),
        event: text(last.event),
        result: text(last.result),
        delayMs: number(last.delayMs),
      },
      // Whether the node sounds the emergency broadcast now: a flag, or an object whose "sounding"
      // says so ("active" alone: one for any zone, sounded here when no "sounding" says otherwise).
      sounding: emergency === true || soundingOf(emergency),
    };
  }

  function readToday(payload) {
    const root = objectOf(payload);
    if (!root || !isId(root.node) || !Array.isArray(root.entries)) return null;
    return {
      node: root.node,
      date: text(root.date),
      decision: dayText(root.decision),
      entries: root.entries
        .slice(0, 500)
        .filter((e) => e && typeof e === "object")
        .map((e) => ({ time: text(e.time), event: text(e.event), sound: text(e.sound), status: text(e.status) })),
      // The day's ring-log rows so far, oldest first: the log is whole from the moment the page opens.
      rings: (Array.isArray(root.rings) ? root.rings.slice(-100) : [])
        .map((r) => logRowOf(root.node, r))
        .filter((r) => r),
    };
  }

  // A ring-log row: a moment "YYYY-MM-DD HH:MM:SS.mmm" and a result, or nothing.
  function logRowOf(node, row) {
    if (!row || typeof row !== "object" || !/^\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{3}$/.test(row.moment))
      return null;
    if (!text(row.result)) return null;
    return {
      node,
      moment: row.moment,
      event: text(row.event),
      sound: text(row.sound),
      result: text(row.result),
      delayMs: number(row.delayMs),
      note: text(row.note),
    };
  }

  function readLog(payload) {
    const root = objectOf(payload);
    if (!root || !isId(root.node)) return null;
    return logRowOf(root.node, root);
  }

  // The shared plan's sound names as the 主控 publishes them: those a command can name.
  function readSounds(payload) {
    const root = objectOf(payload);
    if (!root || !Array.isArray(root.sounds)) return null;
    const names = root.sounds.slice(0, 5000).filter((s) => typeof s === "string").map(soundOf).filter((s) => s);
    return [...new Set(names)].sort();
  }

  function readAck(payload) {
    const root = objectOf(payload);
    if (!root || !isId(root.node) || !isText(root.command) || !isText(root.result) || root.result === "")
      return null;
    return { node: root.node, command: root.command, result: root.result, detail: text(root.detail) };
  }

  function readEmergency(payload) {
    const root = objectOf(payload);
    if (!root || typeof root.active !== "boolean") return null;
    return {
      active: root.active,
      sound: text(root.sound),
      zones: texts(root.zones).filter(isId),
      sinceMs: number(root.sinceMs),
      by: text(root.by),
    };
  }

  // "node:b1", "zone:lab" or "all": the topic it goes to and the command's target field.
  function targetTopic(root, target) {
    if (target === "all") return `${root}/cmd/all`;
    const [scope, id] = target.split(":");
    return `${root}/cmd/${scope}/${id}`;
  }

  // A command id: the account, the moment and a random tail, unique across every console.
  function commandId(user, nowMs) {
    const tail = Math.floor(Math.random() * 36 ** 6).toString(36);
    return `w-${user}-${Math.max(0, nowMs).toString(36)}-${tail}`;
  }

  // The local date of a moment as "YYYY-MM-DD".
  function dateOf(moment) {
    const pad = (n) => String(n).padStart(2, "0");
    return `${moment.getFullYear()}-${pad(moment.getMonth() + 1)}-${pad(moment.getDate())}`;
  }

  // Seconds from now to the end of the local day `date`, at least one minute, at most two days.
  function secondsToEndOf(date, nowMs) {
    const [y, m, d] = date.split("-").map(Number);
    const end = new Date(y, m - 1, d + 1).getTime();
    return Math.min(kMaxExpirySeconds, Math.max(60, Math.ceil((end - nowMs) / 1000)));
  }

  // The command as the nodes read it: kind play, stop, mute or unmute; 立即播放 and 停止播放 expire
  // after 10 s, 今日静音 and 恢复响铃 at the end of the day they name.
  function command({ user, target, kind, sound, date, nowMs }) {
    // issuedMs is for people: the buildings count the expiry from the command's arrival.
    const out = { format: 1, id: commandId(user, nowMs), target, kind, issuedMs: Math.max(0, nowMs), expiry: 10 };
    if (kind === "play") out.sound = sound;
    if (kind === "mute" || kind === "unmute") {
      out.date = date;
      out.expiry = secondsToEndOf(date, nowMs);
    }
    return out;
  }

  function emergency({ user, active, sound, zones, nowMs }) {
    const out = { format: 1, active, zones, sinceMs: nowMs, by: user };
    if (active) out.sound = sound;
    return out;
  }

  // The nodes a target addresses, of those the board knows.
  function addressed(target, statuses) {
    const all = [...statuses.values()];
    if (target === "all") return all.map((s) => s.node);
    const [scope, id] = target.split(":");
    if (scope === "node") return [id];
    return all.filter((s) => s.zones.includes(id)).map((s) => s.node);
  }

  // The nodes that sound an emergency on `zones` (none: everywhere), as the nodes judge it: a node in
  // no zone (the office) sounds only one for every zone.
  function soundingFor(zones, statuses) {
    return [...statuses.values()]
      .filter((s) => zones.length === 0 || s.zones.some((z) => zones.includes(z)))
      .map((s) => s.node)
      .sort();
  }

  return {
    isId,
    soundOf,
    isSingleFile,
    readStatus,
    readToday,
    readLog,
    readSounds,
    readAck,
    readEmergency,
    targetTopic,
    dateOf,
    command,
    emergency,
    addressed,
    soundingFor,
  };
})();

if (typeof module !== "undefined") module.exports = HalvixWire;
