"""Debian's headless chromium driven through its own driver, for the tests of the pages."""

import contextlib
import shutil

import pytest
from selenium import webdriver
from selenium.webdriver.chrome.options import Options
from selenium.webdriver.chrome.service import Service


@contextlib.contextmanager
def chromium(download_dir=None):
    """A headless browser session; downloads go to ``download_dir`` when given."""
    binary, driver = shutil.which("chromium"), shutil.which("chromedriver")
    if binary is None or driver is None:
        pytest.fail("chromium and chromium-driver are needed (make deps-py installs them)")
    options = Options()
    options.binary_location = binary
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage"):
        options.add_argument(argument)
    if download_dir is not None:
        options.add_experimental_option(
            "prefs", {"download.default_directory": str(download_dir), "download.prompt_for_download": False}
        )
    session = webdriver.Chrome(service=Service(executable_path=driver), options=options)
    if download_dir is not None:
        session.execute_cdp_cmd("Browser.setDownloadBehavior", {"behavior": "allow", "downloadPath": str(download_dir)})
    try:
        yield session
    finally:
        session.quit()
