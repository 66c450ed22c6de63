"""Places in a document's text, as the checker counts them and as an editor does.

The checker and the located values speak in byte offsets into the UTF-8
text; an editor speaks in zero-based lines and columns counted in the unit
that client and server agreed on: UTF-16 code units unless the client
offered another, bytes ("utf-8") or code points ("utf-32"). Offsets become
positions through the native line and column routine, which counts all
three at once, many places in one pass; a position becomes an offset by
walking its one line.

Lines end at line feeds only, as everywhere in the package: a carriage
return before a line feed ends its line with it. The server asks for the
whole text on every change, so this is the only line arithmetic in play.
"""

from __future__ import annotations

from collections.abc import Sequence

from lsprotocol import types

from lantor_compile import _lantor_check

# Which of the native routine's columns (byte, character, UTF-16) each
# encoding counts in.
_COLUMN = {
    types.PositionEncodingKind.Utf8: 1,
    types.PositionEncodingKind.Utf32: 2,
    types.PositionEncodingKind.Utf16: 3,
}


class Text:
    """One version of a document's text, with the places in it converted for
    the agreed encoding."""

    def __init__(self, source: str, encoding: str = types.PositionEncodingKind.Utf16) -> None:
        try:
            data = source.encode("utf-8")
        except UnicodeEncodeError:
            # A lone surrogate, which no file holds but a client may send:
            # each becomes U+FFFD, one unit wide as it was.
            source = source.encode("utf-16", "surrogatepass").decode("utf-16", "replace")
            data = source.encode("utf-8")
        self.source = source
        self.data = data
        self.encoding = types.PositionEncodingKind(encoding)
        self._column = _COLUMN[self.encoding]
        self._line_starts: list[int] | None = None

    def positions(self, offsets: Sequence[int]) -> list[types.Position]:
        """The position of each byte offset, in one pass over the text."""
        found = _lantor_check.positions(self.data, list(offsets))
        return [types.Position(place[0] - 1, place[self._column] - 1) for place in found]

    def ranges(self, spans: Sequence[tuple[int, int]]) -> list[types.Range]:
        """The range of each (start, end) pair of byte offsets, in one pass."""
        ends = self.positions([offset for span in spans for offset in span])
        return [types.Range(ends[2 * i], ends[2 * i + 1]) for i in range(len(spans))]

    def range(self, start: int, end: int) -> types.Range:
        return self.ranges([(start, end)])[0]

    def whole(self) -> types.Range:
        """The range of the whole text."""
        return self.range(0, len(self.data))

    def offset(self, position: types.Position) -> int:
        """The byte offset of a position: a column past its line's end is that
        end, a line past the last is the end of the text, and a column inside
        a character (half of a surrogate pair) is that character's start."""
        starts = self.line_starts()
        if position.line >= len(starts):
            return len(self.data)
        start = starts[position.line]
        end = len(self.data)
        if position.line + 1 < len(starts):
            end = starts[position.line + 1] - 1
            if end > start and self.data[end - 1] == ord("\r"):
                end -= 1
        if self.encoding == types.PositionEncodingKind.Utf8:
            offset = min(start + position.character, end)
            while start < offset < len(self.data) and self.data[offset] & 0xC0 == 0x80:
                offset -= 1
            return offset
        units = 0
        offset = start
        for char in self.data[start:end].decode("utf-8"):
            width = 2 if self.encoding == types.PositionEncodingKind.Utf16 and ord(char) > 0xFFFF else 1
            if units + width > position.character:
                break
            units += width
            offset += len(char.encode("utf-8"))
        return offset

    def line_starts(self) -> list[int]:
        """The byte offset where each line starts."""
        if self._line_starts is None:
            starts = [0]
            at = self.data.find(b"\n")
            while at >= 0:
                starts.append(at + 1)
                at = self.data.find(b"\n", at + 1)
            self._line_starts = starts
        return self._line_starts
