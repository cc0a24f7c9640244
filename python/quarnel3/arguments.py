"""Python values as the texts the host reads by each parameter's declared type."""

import datetime
import numbers


def _date_text(value):
    if isinstance(value, datetime.datetime):
        return (f"{value.year:04d}-{value.month:02d}-{value.day:02d}T"
                f"{value.hour:02d}:{value.minute:02d}:{value.second:02d}.{value.microsecond:06d}")
    return f"{value.year:04d}-{value.month:02d}-{value.day:02d}T00:00:00"


def to_word(value):
    """None passes a null text; bool, integers, floats (NaN and infinities
    too), str and datetime.date/datetime (naive wall time) pass as the
    declared type; a text is also read by the declared type ("100" for an
    integer). Anything else raises TypeError."""
    if value is None:
        return None
    if isinstance(value, bool):
        return "1" if value else "0"
    if isinstance(value, numbers.Integral):
        return str(int(value))
    if isinstance(value, numbers.Real):
        return repr(float(value))
    if isinstance(value, str):
        return value
    if isinstance(value, (datetime.date, datetime.datetime)):
        return _date_text(value)
    raise TypeError(f"a {type(value).__name__} cannot be passed to the component")
