// What the browser drivers of the web console share: Debian's chromium, reporting in the e2e tests'
// words and waiting for a condition.
"use strict";

const { chromium } = require("playwright-core");

let failures = 0;
let afterFailure = null; // what a driver does with each failure besides telling it (a screenshot)
const pass = (what) => console.log(`ok: ${what}`);
const fail = (what) => {
  console.log(`FAILED: ${what}`);
  failures++;
  if (afterFailure) afterFailure(failures);
};
const onFailure = (hook) => {
  afterFailure = hook;
};

// check(what, async () => condition, ms): waits up to `ms` for the condition.
async function check(what, condition, ms = 8000) {
  const end = Date.now() + ms;
  for (;;) {
    let got;
    try {
      got = await condition();
    } catch {
      got = false;
    }
    if (got) return pass(what);
    if (Date.now() > end) return fail(what);
    await new Promise((r) => setTimeout(r, 200));
  }
}

// The browser of an office PC whose certificate store is the one in `home`.
const launch = (home) =>
  chromium.launch({ executablePath: "/usr/bin/chromium", args: ["--no-sandbox"], env: { ...process.env, HOME: home } });

async function login(page, url, user, password) {
  await page.goto(url);
  await page.fill("#user", user);
  await page.fill("#password", password);
  await page.click("#login button[type=submit]");
}

// Runs the driver's main and ends the process with its verdict.
function run(main) {
  main().then(() => process.exit(failures ? 1 : 0), (error) => {
    console.log(`FAILED: ${error.stack}`);
    process.exit(1);
  });
}

module.exports = { pass, fail, onFailure, check, launch, login, run };
