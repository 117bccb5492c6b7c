"""The built documentation site, served over a real local HTTP server and read
in headless chromium (Debian's, through its driver): the index and three
reference pages load with their style sheets and scripts, every link on them
that stays on the site leads to a page that exists (and, with a fragment, to
an element with that id), and the search page finds ``analyze_timed``.

`make test` builds the site first (the docs suite); run alone, the test skips
while there is no built site."""

import functools
import http.server
import shutil
import threading
import urllib.error
import urllib.request
from html.parser import HTMLParser
from pathlib import Path
from urllib.parse import urldefrag, urljoin

import pytest
from selenium import webdriver
from selenium.webdriver.chrome.options import Options
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

SITE = Path(__file__).resolve().parents[2] / "build" / "docs" / "html"
PAGES = [
    "index.html",
    "reference/api/tovak_python.html",
    "reference/cli.html",
    "reference/dataset.html",
]

pytestmark = pytest.mark.skipif(not (SITE / "index.html").exists(), reason="the site is not built (make docs)")


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, format, *args):
        pass


@pytest.fixture(scope="module")
def server():
    handler = functools.partial(QuietHandler, directory=str(SITE))
    httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    thread = threading.Thread(target=httpd.serve_forever, daemon=True)
    thread.start()
    try:
        yield f"http://127.0.0.1:{httpd.server_address[1]}/"
    finally:
        httpd.shutdown()
        httpd.server_close()


@pytest.fixture(scope="module")
def browser():
    chromium, driver = shutil.which("chromium"), shutil.which("chromedriver")
    if chromium is None or driver is None:
        pytest.fail("chromium and chromium-driver are needed (make deps-py installs them)")
    options = Options()
    options.binary_location = chromium
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage"):
        options.add_argument(argument)
    session = webdriver.Chrome(service=Service(executable_path=driver), options=options)
    try:
        yield session
    finally:
        session.quit()


class Ids(HTMLParser):
    def __init__(self):
        super().__init__()
        self.ids = set()

    def handle_starttag(self, tag, attrs):
        for name, value in attrs:
            if name in ("id", "name") and value:
                self.ids.add(value)


@functools.cache
def fetched(url):
    """(status, text) of a page of the served site."""
    try:
        with urllib.request.urlopen(url, timeout=10) as answer:
            return answer.status, answer.read().decode("utf-8", "replace")
    except urllib.error.HTTPError as error:
        return error.code, ""


def ids_of(url):
    parser = Ids()
    parser.feed(fetched(url)[1])
    return parser.ids


# Everything the page itself loads or points at, as the browser resolved it.
RESOURCES_SCRIPT = """
return {
  links: Array.from(document.querySelectorAll('a[href]')).map((a) => a.href),
  loaded: Array.from(document.querySelectorAll('link[rel=stylesheet][href], script[src], img[src]'))
               .map((e) => e.href || e.src),
  sheets: document.styleSheets.length,
  title: document.title,
};
"""


@pytest.mark.parametrize("page", PAGES)
def test_page_loads_and_its_links_resolve(browser, server, page):
    browser.get(urljoin(server, page))
    found = browser.execute_script(RESOURCES_SCRIPT)
    assert "tovak" in found["title"]
    assert found["sheets"] >= 1, "no style sheet applied"
    on_site = [url for url in found["links"] if url.startswith(server)]
    assert len(on_site) >= 10, found["links"]  # the navigation alone has more
    for url in found["loaded"]:
        if url.startswith(server):
            assert fetched(url)[0] == 200, url
    broken = []
    for url in sorted(set(on_site)):
        address, fragment = urldefrag(url)
        status, _ = fetched(address)
        if status != 200:
            broken.append(f"{url}: HTTP {status}")
        elif fragment and fragment not in ids_of(address):
            broken.append(f"{url}: no element with id {fragment!r}")
    assert not broken, "\n".join(broken)


def test_a_missing_page_is_reported_missing(server):
    # The check above can fail: the server answers 404 for what is not there.
    assert fetched(urljoin(server, "reference/no-such-page.html"))[0] == 404


def test_search_finds_analyze_timed(browser, server):
    browser.get(urljoin(server, "search.html?q=analyze_timed"))
    results = WebDriverWait(browser, 30).until(
        lambda b: b.find_elements(By.CSS_SELECTOR, "#search-results ul.search li a")
    )
    targets = [result.get_attribute("href") for result in results]
    assert any("reference/api/tovak_python.html#tovak_python.Position.analyze_timed" in t for t in targets), targets
    # Following the first result that names the method lands on its entry.
    target = next(t for t in targets if t.endswith("#tovak_python.Position.analyze_timed"))
    browser.get(target)
    entry = browser.find_element(By.ID, "tovak_python.Position.analyze_timed")
    assert "analyze_timed" in entry.text
