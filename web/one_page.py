"""The site's page with its style sheet and scripts inside it, for a page
that opens from disk and asks for nothing:
    one_page.py index.html style.css engine.js inspector.js OUT
The page's policy then allows those inline texts alone, by their digests."""
import base64
import hashlib
import re
import sys


def digest(text):
    return "'sha256-" + base64.b64encode(hashlib.sha256(text.encode()).digest()).decode() + "'"


def put(page, pattern, replacement):
    page, count = re.subn(pattern, lambda _: replacement, page)
    if count != 1:
        sys.exit(f"one_page.py: the page has {count} of {pattern}, not one")
    return page


def main():
    page_path, style_path, engine_path, inspector_path, out_path = sys.argv[1:]
    texts = {path: open(path, encoding="utf-8").read() for path in sys.argv[1:5]}
    page, style = texts[page_path], texts[style_path]
    scripts = [texts[engine_path], texts[inspector_path]]
    for script in scripts:
        # Either would end the script's element early, or change how it is read.
        if re.search(r"</script|<!--", script, re.IGNORECASE):
            sys.exit("one_page.py: a script holds '</script' or '<!--'")
    policy = ("default-src 'none'; script-src " + " ".join(map(digest, scripts)) +
              " 'wasm-unsafe-eval'; style-src " + digest(style) + "; img-src blob: data:")
    page = put(page, r'(?<=http-equiv="Content-Security-Policy")\s+content="[^"]*"',
               f'\n      content="{policy}"')
    page = put(page, r'<link rel="stylesheet" href="style.css">', f"<style>{style}</style>")
    page = put(page, r'<script src="mocfweb.js"></script>', f"<script>{scripts[0]}</script>")
    page = put(page, r'<script src="inspector.js"></script>', f"<script>{scripts[1]}</script>")
    with open(out_path, "w", encoding="utf-8") as out:
        out.write(page)


main()
