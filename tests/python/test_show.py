import pytest
from tovak_python import Position

import tovak
from tovak.notation import from_text


def test_notebook_picture_is_the_module_svg():
    position = Position()
    assert tovak.show(position)._repr_svg_() == position.svg_board()
    assert tovak.show(position, "d1-d3")._repr_svg_() == position.svg_for_move("d1-d3")


def test_move_is_normalised_and_drawn_even_when_illegal():
    position = Position()
    view = tovak.show(position, "E2-E4")
    assert view.move == "e2-e4"
    assert view.svg() == position.svg_for_move("e2-e4")


def test_text_form_is_the_diagram_with_a_caption():
    position = from_text("W:a1,b1,a2 B:b2,h8 b")
    view = tovak.show(position, "h8-a1", style="letters")
    assert str(view) == position.ascii_board("letters") + "Black to move, move h8-a1\n"
    assert repr(view) == str(view).rstrip("\n")
    assert str(tovak.show(Position())) == Position().ascii_board() + "White to move\n"


def test_view_is_a_snapshot():
    position = Position()
    view = tovak.show(position)
    before = view.svg()
    position.apply_move("a1-b3")
    assert view.svg() == before
    view.position.apply_move("a1-b3")  # a copy: the view itself does not change
    assert view.svg() == before


@pytest.mark.parametrize(
    "kwargs, error",
    [
        ({"move": "e2e4"}, ValueError),
        ({"move": "a9-a1"}, ValueError),
        ({"style": "fancy"}, ValueError),
        ({"move": 12}, TypeError),
    ],
)
def test_bad_arguments_are_refused_at_once(kwargs, error):
    with pytest.raises(error):
        tovak.show(Position(), **kwargs)


def test_position_must_be_a_position():
    with pytest.raises(TypeError, match="tovak_python.Position"):
        tovak.show("W:- B:- w")
