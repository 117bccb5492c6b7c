import tovak_python


def test_module_docstring_is_empty():
    assert tovak_python.__doc__ == ""
