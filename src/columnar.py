"""quarnel's work over Arrow columns (see the functions' docstrings).

The functions live in quarnel's own shared object, beside the classes, so
that they reach the native values inside instances; this file loads that
entry of it as the module quarnel.columnar, which replaces this one.
"""
import sys
from importlib.machinery import ExtensionFileLoader
from importlib.util import module_from_spec, spec_from_file_location

import quarnel as _quarnel

_loader = ExtensionFileLoader(__name__, _quarnel.__file__)
_native = module_from_spec(spec_from_file_location(__name__, _quarnel.__file__, loader=_loader))
sys.modules[__name__] = _native
