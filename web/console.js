// The duty office's console: logs in to the campus broker with the user's own account, shows what
// the buildings report and sends the duty office's commands. The broker decides what an account may
// do; the page only hides what it would refuse.
"use strict";

const W = HalvixWire;
const $ = (id) => document.getElementById(id);
const kLogRows = 100;
const kAnswerGraceMs = 2000; // an answer may arrive this long after the command expired
const kEmergencyWaitMs = 10000; // how long a building has to report that it obeyed
const kClockHintMs = 3000; // a PC clock off by more than this from the 主控's is pointed out

const state = {
  config: null, // { campus, wsPort }
  client: null,
  user: "",
  everConnected: false,
  mayAct: false,
  role: "",
  statuses: new Map(), // node id -> status; `known` false while the broker is out of reach
  todays: new Map(), // node id -> today's plan
  logRows: new Map(), // node, moment, event and result -> a ring-log row
  sounds: null, // the shared plan's sound names, once the 主控 published them
  clockOffsetMs: null, // the 主控's clock minus this PC's, from its latest status
  emergency: null,
  actions: [], // newest first: { id, label, nodes, answers: Map, deadlineMs, emergency }
};

const root = () => `halvix/${state.config.campus}`;

function element(tag, text, className) {
  const node = document.createElement(tag);
  if (text !== undefined) node.textContent = text;
  if (className) node.className = className;
  return node;
}

function setConnection(text, up) {
  $("connection").textContent = text;
  $("connection").className = `connection ${up ? "up" : "down"}`;
}

async function loadConfig() {
  const query = new URLSearchParams(location.search);
  let config = {};
  try {
    const response = await fetch("campus.json", { cache: "no-store" });
    if (response.ok) config = await response.json();
  } catch {
    // a page opened without the set-up's campus.json: the address may say it
  }
  const campus = query.get("campus") || config.campus;
  const wsPort = Number(query.get("ws") || config.wsPort);
  if (!W.isId(campus) || !(wsPort > 0 && wsPort < 65536)) return null;
  return { campus, wsPort };
}

// ---- the connection ----

const configRead = loadConfig();

async function login(event) {
  event.preventDefault();
  const user = $("user").value.trim();
  const password = $("password").value;
  state.config = await configRead;
  if (!state.config) {
    $("login-message").textContent = "网页缺少校园设置 (campus.json): 请按说明用 campus-setup.sh 安装网页。";
    return;
  }
  if (!W.isId(user)) {
    $("login-message").textContent = "用户名应为 1 到 32 个英文字母、数字、- 或 _。";
    return;
  }
  $("login-message").textContent = "正在连接…";
  localStorage.setItem("halvix-user", user);
  connect(user, password);
}

function connect(user, password) {
  if (state.client) state.client.end(true); // a login tried again while the last one still retries
  const url = `wss://${location.hostname}:${state.config.wsPort}/mqtt`;
  state.user = user;
  state.everConnected = false;
  const client = mqtt.connect(url, {
    username: user,
    password,
    protocolVersion: 5,
    clientId: `web-${user}-${Math.random().toString(36).slice(2, 10)}`,
    clean: true,
    reconnectPeriod: 2000,
    connectTimeout: 8000,
  });
  state.client = client;

  client.on("connect", () => {
    if (client !== state.client) return;
    setConnection("已连接", true);
    if (!state.everConnected) showConsole();
    state.everConnected = true;
    client.subscribe(
      ["status/+", "today/+", "log/+", "ack/+", "emergency", "sounds"].map((t) => `${root()}/${t}`),
      { qos: 1 },
    );
    learnRole();
  });
  client.on("error", (error) => {
    if (client !== state.client) return;
    // 134: bad user name or password, 135: not authorised (MQTT 5), 4 and 5 the same in 3.1.1.
    if ([4, 5, 134, 135].includes(error.code)) {
      logout();
      $("login-message").textContent = "用户名或密码错误, 请重新输入。";
    }
  });
  client.on("close", () => {
    if (client !== state.client) return;
    if (state.everConnected) {
      setConnection("连接中断, 正在重新连接…", false);
      // Nothing is heard of the buildings meanwhile: the board says so until each reports again.
      for (const status of state.statuses.values()) status.known = false;
      renderBoard();
    }
    else
      $("login-message").textContent =
        `无法连接到 ${url}: 请检查网络, 以及本机是否信任学校的证书 (ca.crt)。正在重试…`;
  });
  client.on("message", (topic, payload, packet) => {
    if (client !== state.client) return;
    // A fault in showing one message must not end the connection that brings the next.
    try {
      arrived(topic, payload, packet.retain === true);
    } catch (error) {
      console.error(topic, error);
    }
  });
}

// The account's role, as the broker's rules judge harmless publishes nobody reads: one like a
// command (cmd/probe) that 值班 and 管理员 may make, and one beside the campus's topics that only
// 管理员 may. The broker answers a refused QoS 1 publish with "not authorised".
const kRoles = { admin: "管理员", duty: "值班", viewer: "只读" };

function probe(client, topic) {
  return new Promise((done) =>
    client.publish(topic, "", { qos: 1, properties: { messageExpiryInterval: 1 } }, (error) =>
      done(!error ? "allowed" : error.code === 135 ? "refused" : "lost"),
    ),
  );
}

async function learnRole() {
  const client = state.client;
  const command = await probe(client, `${root()}/cmd/probe`);
  const campus = command === "allowed" ? await probe(client, `${root()}/probe`) : "refused";
  // Lost with the connection: asked again at the next one.
  if (client !== state.client || command === "lost" || campus === "lost") return;
  state.mayAct = command === "allowed";
  state.role = campus === "allowed" ? kRoles.admin : state.mayAct ? kRoles.duty : kRoles.viewer;
  $("who").textContent = `${state.user} · ${state.role}${state.mayAct ? " (可操作)" : ""}`;
  $("actions").hidden = !state.mayAct;
  renderEmergency();
}

function showConsole() {
  $("login").hidden = true;
  $("console").hidden = false;
  $("logout").hidden = false;
  $("password").value = "";
  $("login-message").textContent = "";
}

function logout() {
  if (state.client) state.client.end(true);
  state.client = null;
  state.mayAct = false;
  state.statuses.clear();
  state.todays.clear();
  state.logRows.clear();
  state.sounds = null;
  state.clockOffsetMs = null;
  state.emergency = null;
  state.actions = [];
  $("console").hidden = true;
  $("actions").hidden = true;
  $("login").hidden = false;
  $("logout").hidden = true;
  $("who").textContent = "";
  $("connection").textContent = "";
  $("board").replaceChildren();
  $("results").replaceChildren();
  $("log").tBodies[0].replaceChildren();
  renderClockOffset();
}

function arrived(topic, payload, retained) {
  const rest = topic.slice(root().length + 1);
  const [kind, node] = rest.split("/");
  if (kind === "status") {
    const status = W.readStatus(payload);
    if (status && status.node === node) {
      state.statuses.set(node, withLastKnown(status, state.statuses.get(node)));
      // A retained status may be half a minute old: only one sent just now tells the 主控's time.
      if (status.central && status.sentMs !== null && !retained) learnClockOffset(status.sentMs);
      keepEmergencyAnswer(state.statuses.get(node));
    }
    // An empty retained status: someone removed the building from the campus.
    if (payload.length === 0) state.statuses.delete(node);
    renderBoard();
  } else if (kind === "today") {
    const today = W.readToday(payload);
    if (today && today.node === node) {
      state.todays.set(node, today);
      today.rings.forEach(keepLogRow);
      renderLog();
    }
    renderPlan();
    renderSounds();
  } else if (kind === "log") {
    const row = W.readLog(payload);
    if (row && row.node === node) {
      keepLogRow(row);
      renderLog();
    }
  } else if (kind === "ack") {
    const ack = W.readAck(payload);
    if (ack && ack.node === node) answered(ack);
  } else if (kind === "emergency") {
    state.emergency = W.readEmergency(payload);
    renderEmergency();
  } else if (kind === "sounds") {
    state.sounds = W.readSounds(payload);
    renderSounds();
  }
}

// ---- the board ----

// A building's last will says no more than that it is offline: the board keeps its name, zones,
// revision and last ring as last reported.
function withLastKnown(status, before) {
  if (status.online || !before || status.name !== status.node) return { ...status, known: true };
  return { ...before, online: false, sounding: false, problems: status.problems, known: true };
}

const nameOf = (node) => state.statuses.get(node)?.name || node;

// A zone's name as the buildings in it call it; its id when none does.
function zoneNameOf(zone) {
  for (const status of state.statuses.values()) {
    const name = status.zoneNames.get(zone);
    if (name && name !== zone) return name;
  }
  return zone;
}

// The board: 在线, 离线, or 未知 while the broker is out of reach.
function presence(status) {
  if (!status.known) return ["未知", "unknown"];
  return status.online ? ["在线", ""] : ["离线", "offline"];
}

function learnClockOffset(sentMs) {
  state.clockOffsetMs = sentMs - Date.now();
  renderClockOffset();
}

// Commands do not depend on this PC's clock; what the page shows of times does, so it says so.
function renderClockOffset() {
  const offset = state.clockOffsetMs;
  const hint = $("clock-offset");
  hint.hidden = offset === null || Math.abs(offset) < kClockHintMs;
  if (hint.hidden) return;
  const seconds = Math.round(Math.abs(offset) / 1000);
  hint.textContent = `本机时钟比主控${offset > 0 ? "慢" : "快"} ${seconds} 秒 (命令不受影响; 请校准本机时间)`;
}

function clockText(status) {
  const sync = status.synchronised ? "已同步" : "未同步";
  if (status.offsetMs === null) return sync;
  const offset = Math.round(status.offsetMs);
  return `${sync}, 与主控相差 ${offset > 0 ? "+" : ""}${offset} ms`;
}

function lastRingText(ring) {
  if (!ring) return "—";
  const delay = ring.delayMs === null ? "" : ` (延迟 ${ring.delayMs} ms)`;
  return `${ring.time} ${ring.event} ${ring.result}${delay}`;
}

function nodeCard(status) {
  const card = element("article", undefined, "node");
  const [presenceText, presenceClass] = presence(status);
  if (presenceClass) card.classList.add(presenceClass);
  else if (!status.online) card.classList.add("offline");
  else if (status.sounding) card.classList.add("sounding");
  else if (status.problems.length) card.classList.add("trouble");
  card.dataset.node = status.node;
  const title = element("h3");
  title.append(element("span", `${status.name} (${status.node})`, "name"), element("span", presenceText, "badge"));
  const list = element("dl");
  const add = (term, text, className) => list.append(element("dt", term), element("dd", text, className));
  add("区域", status.zones.map(zoneNameOf).join(", ") || "—");
  add("计划版本", status.revision === null ? "—" : String(status.revision));
  add("时钟", clockText(status));
  add("上次响铃", lastRingText(status.lastRing));
  if (status.today) add("今日", status.today);
  add("问题", status.problems.join("; ") || "无", status.problems.length ? "problem" : "");
  add("紧急广播", status.sounding ? "正在播放" : "—", status.sounding ? "problem" : "");
  card.append(title, list);
  card.addEventListener("click", () => {
    $("plan-node").value = status.node;
    renderPlan();
  });
  return card;
}

function renderBoard() {
  const statuses = [...state.statuses.values()].sort((a, b) => a.node.localeCompare(b.node));
  $("board").replaceChildren(...statuses.map(nodeCard));
  $("board-empty").hidden = statuses.length > 0;
  fillSelect($("plan-node"), statuses.map((s) => [s.node, s.name]));
  const zones = [...new Set(statuses.flatMap((s) => s.zones))].sort();
  fillSelect($("target"), [
    ["all", "全部楼"],
    ...zones.map((z) => [`zone:${z}`, `区域 ${zoneNameOf(z)}`]),
    ...statuses.map((s) => [`node:${s.node}`, s.name]),
  ]);
  renderPlan();
  renderSounds();
  renderResults();
}

// Replaces a select's options, keeping the chosen value when it is still offered.
function fillSelect(select, options) {
  const chosen = select.value;
  select.replaceChildren(
    ...options.map(([value, label]) => {
      const option = element("option", label);
      option.value = value;
      return option;
    }),
  );
  if (options.some(([value]) => value === chosen)) select.value = chosen;
}

function renderPlan() {
  const today = state.todays.get($("plan-node").value);
  $("plan-decision").textContent = today ? `${today.date} ${today.decision}` : "这座楼还没有报告今日计划。";
  $("plan").tBodies[0].replaceChildren(
    ...(today ? today.entries : []).map((e) => {
      const row = element("tr");
      row.append(element("td", e.time), element("td", e.event), element("td", e.sound), element("td", e.status));
      return row;
    }),
  );
}

// Rows come from the buildings' today reports and one by one as they happen: each shown once.
function keepLogRow(row) {
  state.logRows.set([row.node, row.moment, row.event, row.result].join("\n"), row);
}

function renderLog() {
  const rows = [...state.logRows.values()].sort((a, b) => b.moment.localeCompare(a.moment)).slice(0, kLogRows);
  $("log").tBodies[0].replaceChildren(
    ...rows.map((row) => {
      const tr = element("tr");
      const event = element("td", row.event);
      event.title = row.sound;
      tr.append(
        element("td", row.moment),
        element("td", nameOf(row.node)),
        event,
        element("td", row.sound),
        element("td", row.note ? `${row.result} (${row.note})` : row.result),
      );
      return tr;
    }),
  );
  $("log-empty").hidden = rows.length > 0;
}

function renderEmergency() {
  const e = state.emergency;
  const banner = $("emergency");
  banner.hidden = !(e && e.active);
  if (e && e.active) {
    const since = e.sinceMs === null ? "" : `, 自 ${new Date(e.sinceMs).toLocaleTimeString("zh-CN")} 起`;
    const zones = e.zones.length ? `区域 ${e.zones.map(zoneNameOf).join(", ")}` : "全部楼";
    banner.textContent = `紧急广播中: ${e.sound} (${zones})${e.by ? `, 由 ${e.by} 发起` : ""}${since}`;
  }
  $("emergency-clear").disabled = !(e && e.active);
}

// ---- actions ----

// Every sound of the shared plan, on any day; before the 主控 said them, those of today's plans
// of the buildings the target addresses (all buildings when none has a plan).
function renderSounds() {
  let sounds = state.sounds;
  if (!sounds) {
    const nodes = W.addressed($("target").value || "all", state.statuses);
    const plans = nodes.map((n) => state.todays.get(n)).filter(Boolean);
    const entries = (plans.length ? plans : [...state.todays.values()]).flatMap((t) => t.entries);
    sounds = [...new Set(entries.map((e) => W.soundOf(e.sound)).filter((s) => s))].sort();
  }
  fillSelect($("sound"), sounds.map((s) => [s, s]));
}

const kKindLabels = { play: "立即播放", stop: "停止播放", mute: "今日静音", unmute: "恢复响铃" };

function say(text) {
  $("action-message").textContent = text;
}

function send(kind) {
  const target = $("target").value;
  const nodes = W.addressed(target, state.statuses);
  const sound = $("sound").value;
  if (kind === "play" && !sound) return say("没有可播放的声音: 主控还没有发布共享计划的声音。");
  if (nodes.length === 0) return say("所选的对象里没有已知的楼。");
  const nowMs = Date.now();
  // 今日静音 and 恢复响铃 name the day: the building's own when one building is meant.
  const date = (nodes.length === 1 && state.todays.get(nodes[0])?.date) || W.dateOf(new Date(nowMs));
  const command = W.command({ user: state.user, target, kind, sound, date, nowMs });
  const label = `${kKindLabels[kind]}${kind === "play" ? ` ${sound}` : ""}${kind === "mute" || kind === "unmute" ? ` ${date}` : ""}`;
  publish(W.targetTopic(root(), target), command, { retain: false, expiry: command.expiry }, {
    id: command.id,
    label,
    nodes,
    deadlineMs: nowMs + command.expiry * 1000 + kAnswerGraceMs,
  });
}

function sendEmergency(active) {
  const target = $("target").value;
  const zones = target.startsWith("zone:") ? [target.slice(5)] : [];
  const nodes = W.soundingFor(active ? zones : [], state.statuses);
  const message = W.emergency({ user: state.user, active, sound: $("sound").value, zones, nowMs: Date.now() });
  const label = active
    ? `紧急广播 ${message.sound} (${zones.length ? `区域 ${zoneNameOf(zones[0])}` : "全部楼"})`
    : "解除紧急广播";
  publish(`${root()}/emergency`, message, { retain: true, expiry: 0 }, {
    id: `emergency-${Date.now()}`,
    label,
    nodes,
    deadlineMs: Date.now() + kEmergencyWaitMs,
    emergency: active,
  });
  // A building already as asked answers with the status it has.
  for (const status of state.statuses.values()) keepEmergencyAnswer(status);
  renderResults();
}

function publish(topic, message, { retain, expiry }, action) {
  const properties = expiry ? { messageExpiryInterval: expiry } : {};
  const client = state.client;
  if (!client || !client.connected) return say("连接中断: 命令没有发出, 请在重新连接后再试。");
  action.answers = new Map();
  action.at = new Date().toLocaleTimeString("zh-CN");
  state.actions.unshift(action);
  state.actions.length = Math.min(state.actions.length, 20);
  say("");
  client.publish(topic, JSON.stringify(message), { qos: 1, retain, properties }, (error) => {
    if (!error) return;
    action.refused = error.code === 135 ? "服务器拒绝: 此账号无权下达命令" : `没有发出: ${error.message}`;
    renderResults();
  });
  renderResults();
}

function answered(ack) {
  const action = state.actions.find((a) => a.id === ack.command);
  if (!action) return;
  action.answers.set(ack.node, ack.detail ? `${ack.result} (${ack.detail})` : ack.result);
  renderResults();
}

// A building answers an emergency with its status: once it says it sounds it (or no longer does),
// that is its answer to the action for good, whatever it says later.
function keepEmergencyAnswer(status) {
  if (!status || !status.known || !status.online) return;
  for (const action of state.actions) {
    if (action.emergency === undefined || action.refused || action.answers.has(status.node)) continue;
    if (action.nodes.includes(status.node) && status.sounding === action.emergency)
      action.answers.set(status.node, action.emergency ? "紧急广播中" : "已解除");
  }
}

// A building's answer to an action as it came, or 无应答 once the time for one is over.
function answerOf(action, node, nowMs) {
  if (action.answers.has(node)) return [action.answers.get(node), ""];
  return nowMs > action.deadlineMs ? ["无应答", "none"] : ["等待应答…", "waiting"];
}

function renderResults() {
  const nowMs = Date.now();
  $("results").replaceChildren(
    ...state.actions.map((action) => {
      const item = element("li", `${action.at} ${action.label}`);
      const answers = element("div", undefined, "answers");
      if (action.refused) answers.append(element("span", action.refused, "answer none"));
      else
        for (const node of action.nodes) {
          const [text, className] = answerOf(action, node, nowMs);
          answers.append(element("span", `${nameOf(node)}: ${text}`, `answer ${className}`));
        }
      item.append(answers);
      return item;
    }),
  );
}

// Asks before the two actions that take over loudspeakers or give them back.
function confirmFirst(text, then) {
  say("");
  $("confirm-text").textContent = text;
  $("confirm").hidden = false;
  $("confirm-yes").onclick = () => {
    $("confirm").hidden = true;
    then();
  };
}

function startEmergency() {
  const target = $("target").value;
  if (target.startsWith("node:")) return say("紧急广播须选 全部楼 或一个区域。");
  if (!$("sound").value) return say("请先选择紧急广播的声音。");
  if (!W.isSingleFile($("sound").value)) return say("紧急广播的声音应为 voic 中的一个声音文件 (如 警报.mp3), 不能是文件夹。");
  const where = target === "all" ? "全部楼" : `区域 ${zoneNameOf(target.slice(5))}`;
  const names = W.soundingFor(target === "all" ? [] : [target.slice(5)], state.statuses).map(nameOf).join("、");
  confirmFirst(`确认在 ${where} 紧急广播 ${$("sound").value}? 将播放的楼: ${names || "暂无已知的楼"}。它将一直播放, 直到解除。`,
    () => sendEmergency(true));
}

function start() {
  $("user").value ||= localStorage.getItem("halvix-user") || "";
  $("login").addEventListener("submit", login);
  $("logout").addEventListener("click", logout);
  document.querySelectorAll("button[data-kind]").forEach((button) =>
    button.addEventListener("click", () => send(button.dataset.kind)),
  );
  $("emergency-start").addEventListener("click", startEmergency);
  $("emergency-clear").addEventListener("click", () => confirmFirst("确认解除紧急广播?", () => sendEmergency(false)));
  $("confirm-no").addEventListener("click", () => ($("confirm").hidden = true));
  $("target").addEventListener("change", renderSounds);
  $("plan-node").addEventListener("change", renderPlan);
  setInterval(renderResults, 1000);
  renderEmergency();
}

start();
