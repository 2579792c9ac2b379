// Renders tyx2html pages in headless Chromium and checks them:
//  - the text of every paragraph, read from the DOM, equals the text of the
//    Tyx strings and characters of that paragraph, in order (body and notes);
//  - in every generated table, each tabbed column starts (left), ends (right),
//    centres (center) or has its decimal point (decimal) at the same x in every
//    row, and that x is the column's tab stop;
//  - every footnote reference links to its note and every note links back;
//  - a screenshot of each example page is written for a person to look at.
//
//   node check.mjs --docs DIR --examples DIR --screenshots DIR
// DIR of docs holds n.tyx, n.html and n.json (tables) from browser_docs; DIR
// of examples holds name.tyx and name.html.
import fs from 'node:fs';
import path from 'node:path';
import puppeteer from 'puppeteer-core';

const args = Object.fromEntries(
  process.argv.slice(2).reduce((pairs, arg, i, all) => {
    if (arg.startsWith('--')) pairs.push([arg.slice(2), all[i + 1]]);
    return pairs;
  }, []));

// ---------------------------------------------------------------- the Tyx side

// What a character code shows as in ISO-8859-1, as tyx2html renders it.
function latin1(code) {
  if (code === 9) return '\t';
  if (code < 0x20) return String.fromCodePoint(0x2400 + code);
  if (code === 0x7f) return '\u2421';
  if (code >= 0x80 && code < 0xa0) return '\ufffd';
  return String.fromCodePoint(code);
}

const named = {
  HardSpace: '\u00a0', DiscHyphen: '\u00ad', NoHyphen: '', NumberSpace: '\u2007',
  Tab: '\t', HardReturn: '\n',
};

function unescape(text) {
  return text.replace(/\\(xD4 |xD5 |>|\\|t)/g, (_, e) =>
    ({ 'xD4 ': '`', 'xD5 ': "'", '>': '>', '\\': '\\', t: '\t' })[e]);
}

// The text of each paragraph of a Tyx file as vantrove writes it (one
// statement a line): body paragraphs in order, and the paragraphs of each
// footnote by its ID.
function tyxText(source) {
  const body = [];
  const notes = new Map();
  let inNotes = false;
  let noteId = null;
  let current = null;
  for (const raw of source.split('\n')) {
    // A marker's closing ">" has the next statement on its line.
    const line = raw.startsWith('\t>\t<') ? raw.slice(2) : raw;
    let m;
    if (/^\t<Notes$/.test(line)) inNotes = true;
    else if (/^\t> # End Notes$/.test(line)) inNotes = false;
    else if (inNotes && (m = /^<ID (\d+)>$/.exec(line))) {
      noteId = m[1];
      notes.set(noteId, []);
    } else if (/^<Para /.test(line)) {
      current = [];
      (inNotes ? notes.get(noteId) : body).push(current);
    } else if ((m = /^\t<String `(.*)'>$/.exec(line))) {
      current.push(unescape(m[1]));
    } else if ((m = /^\t<Char (\w+)>/.exec(line))) {
      const name = m[1];
      current.push(/^\d+$/.test(name) ? latin1(Number(name)) : named[name]);
    }
  }
  const join = (paras) => paras.map((p) => p.join(''));
  return {
    body: join(body),
    notes: new Map([...notes].map(([id, paras]) => [id, join(paras)])),
  };
}

// ---------------------------------------------------------------- the page side

// Runs in the page: paragraph texts (generated parts left out: footnote
// numbers, back links; a hard return is a line end, a layout break nothing),
// the notes by ID, and the footnote links.
function readPage() {
  const textOf = (node) => {
    let out = '';
    const walk = (n) => {
      if (n.nodeType === Node.TEXT_NODE) {
        out += n.data;
      } else if (n.nodeType === Node.ELEMENT_NODE) {
        if (n.matches('sup.fn, a.back')) return;
        if (n.tagName === 'BR') {
          if (!n.classList.contains('lb')) out += '\n';
          return;
        }
        for (const child of n.childNodes) walk(child);
      }
    };
    walk(node);
    return out;
  };
  const body = [...document.querySelectorAll('.page > p')].map(textOf);
  const notes = [...document.querySelectorAll('.notes li')].map((li) => ({
    id: li.dataset.id,
    paras: [...li.querySelectorAll('p')].map(textOf),
  }));
  const linkFaults = [];
  for (const a of document.querySelectorAll('sup.fn a')) {
    const note = document.getElementById(a.getAttribute('href').slice(1));
    if (!note || !note.closest('.notes') || note.tagName !== 'LI') {
      linkFaults.push(`reference ${a.id} leads to no note`);
      continue;
    }
    const back = note.querySelector('a.back');
    const first = back && document.getElementById(back.getAttribute('href').slice(1));
    if (!first || !first.matches('sup.fn a') || first.getAttribute('href') !== '#' + note.id) {
      linkFaults.push(`note ${note.id} does not lead back to its reference`);
    }
  }
  return { body, notes, linkFaults };
}

// Runs in the page: for each table row (found by the id its first cell starts
// with) and each tabbed column, the x position that the column's kind aligns
// and the x of its tab stop, in CSS pixels.
function measureTables(tables) {
  const paras = [...document.querySelectorAll('.page > p')];
  const rangeRect = (node, offset) => {
    const range = document.createRange();
    range.setStart(node, offset);
    range.setEnd(node, offset + 1);
    return range.getBoundingClientRect();
  };
  return tables.map((table) => table.rows.map((id) => {
    const p = paras.find((para) => para.textContent.startsWith(id));
    if (!p) return null;
    // The characters of the row with their text nodes, split into cells at tabs.
    const cells = [[]];
    const walker = document.createTreeWalker(p, NodeFilter.SHOW_TEXT);
    for (let node; (node = walker.nextNode());) {
      for (let i = 0; i < node.data.length; ++i) {
        if (node.data[i] === '\t') cells.push([]);
        else cells[cells.length - 1].push({ node, i, c: node.data[i] });
      }
    }
    const left = p.getBoundingClientRect().left;
    return table.columns.map((column, k) => {
      const cell = cells[k + 1];
      const stop = left + column.x * 96 / 72;
      if (!cell || cell.length === 0) return { x: null, stop };
      const first = rangeRect(cell[0].node, cell[0].i);
      const last = rangeRect(cell[cell.length - 1].node, cell[cell.length - 1].i);
      let x;
      switch (column.type) {
        case 'left': x = first.left; break;
        case 'right': x = last.right; break;
        case 'center': x = (first.left + last.right) / 2; break;
        case 'decimal': {
          const point = cell.find((ch) => ch.c === '.');
          x = point ? rangeRect(point.node, point.i).left : last.right;
          break;
        }
      }
      return { x, stop };
    });
  }));
}

// ---------------------------------------------------------------- checks

const faults = [];
let checks = 0;

function expectEqual(what, actual, expected) {
  ++checks;
  if (actual !== expected) {
    faults.push(`${what}:\n    page: ${JSON.stringify(actual)}\n    tyx:  ${JSON.stringify(expected)}`);
  }
}

function checkText(name, tyxSource, page) {
  const tyx = tyxText(tyxSource);
  expectEqual(`${name}: number of paragraphs`, page.body.length, tyx.body.length);
  tyx.body.forEach((text, i) => expectEqual(`${name}: paragraph ${i + 1}`, page.body[i], text));
  const shown = new Map(page.notes.map((n) => [n.id, n.paras]));
  for (const [id, paras] of tyx.notes) {
    expectEqual(`${name}: footnote ${id}`, JSON.stringify(shown.get(id)), JSON.stringify(paras));
  }
  ++checks;
  for (const fault of page.linkFaults) faults.push(`${name}: ${fault}`);
}

function checkTables(name, tables, measured) {
  const tolerance = 0.75;  // CSS pixels
  tables.forEach((table, t) => {
    const rows = measured[t];
    rows.forEach((row, r) => {
      ++checks;
      if (!row) faults.push(`${name}: table ${t} row ${table.rows[r]} not found`);
    });
    table.columns.forEach((column, k) => {
      const xs = rows.filter(Boolean).map((row) => row[k]).filter((m) => m.x !== null);
      for (const m of xs) {
        ++checks;
        if (Math.abs(m.x - xs[0].x) > tolerance || Math.abs(m.x - m.stop) > tolerance) {
          faults.push(`${name}: table ${t} column ${k + 1} (${column.type}) at ` +
            `${xs.map((v) => v.x.toFixed(2)).join(', ')} px, stop at ${m.stop.toFixed(2)} px`);
          break;
        }
      }
    });
  });
}

const browser = await puppeteer.launch({
  executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
  headless: true,
  args: ['--no-sandbox', '--disable-gpu', '--font-render-hinting=none'],
});
try {
  const page = await browser.newPage();
  await page.setViewport({ width: 1000, height: 1200 });
  page.on('pageerror', (error) => faults.push(`page error: ${error.message}`));

  // The examples: text, links, a real click on a footnote and back, a screenshot.
  fs.mkdirSync(args.screenshots, { recursive: true });
  const examples = fs.readdirSync(args.examples).filter((f) => f.endsWith('.html')).sort();
  for (const file of examples) {
    const name = path.basename(file, '.html');
    await page.goto('file://' + path.resolve(args.examples, file));
    checkText(name, fs.readFileSync(path.join(args.examples, name + '.tyx'), 'latin1'),
      await page.evaluate(readPage));
    if (await page.$('sup.fn a')) {
      await page.click('sup.fn a');
      expectEqual(`${name}: a click on the first reference`, await page.evaluate(
        () => location.hash + ' ' + (document.querySelector(':target')?.tagName ?? '')), '#fn-1 LI');
      await page.click('li:target a.back');
      expectEqual(`${name}: a click on its back link`, await page.evaluate(
        () => location.hash), '#fnref-1');
      await page.goto('file://' + path.resolve(args.examples, file));
    }
    await page.screenshot({ path: path.join(args.screenshots, name + '.png'), fullPage: true });
  }

  // The generated documents.
  const docs = fs.readdirSync(args.docs).filter((f) => f.endsWith('.html'))
    .map((f) => path.basename(f, '.html')).sort((a, b) => a - b);
  let tables = 0;
  for (const name of docs) {
    await page.goto('file://' + path.resolve(args.docs, name + '.html'));
    checkText(`document ${name}`,
      fs.readFileSync(path.join(args.docs, name + '.tyx'), 'latin1'), await page.evaluate(readPage));
    const layout = JSON.parse(fs.readFileSync(path.join(args.docs, name + '.json'), 'utf8'));
    tables += layout.tables.length;
    checkTables(`document ${name}`, layout.tables,
      await page.evaluate(measureTables, layout.tables));
  }
  console.log(`${examples.length} examples and ${docs.length} documents with ${tables} tables ` +
    `rendered; screenshots in ${args.screenshots}`);
} finally {
  await browser.close();
}

for (const fault of faults.slice(0, 40)) console.log('FAULT ' + fault);
console.log(`${checks - Math.min(checks, faults.length)} passed, ${faults.length} failed`);
process.exit(faults.length === 0 ? 0 : 1);
