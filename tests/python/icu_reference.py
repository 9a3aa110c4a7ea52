"""ICUWordPreTokenizer's documented steps done by hand with PyICU: cleaning
by ICU's general category (Cc, Cs, Cn), White_Space trim, ICU's root
lowercase mapping of the whole text, ICU's word boundaries over UTF-16,
pieces trimmed, empty ones and stop words dropped.

Run as a script: reads a pickled (texts, remove_stopwords, lowercase,
stopwords) from stdin and writes the pickled token lists to stdout; with
the argument `unassigned`, writes the set of code points ICU has not
assigned instead.
"""
import pickle
import sys

import icu

ROOT = icu.Locale.getRoot()
BREAKS = icu.BreakIterator.createWordInstance(ROOT)
DELETED = {icu.UCharCategory.CONTROL_CHAR, icu.UCharCategory.SURROGATE, icu.UCharCategory.UNASSIGNED}
WS = "\t\n\x0b\x0c\r \x85\xa0\u1680\u2000\u2001\u2002\u2003\u2004\u2005\u2006\u2007\u2008\u2009\u200a" \
     "\u2028\u2029\u202f\u205f\u3000"


def tokenize(text, remove_stopwords, lowercase, stopwords):
    text = "".join(c for c in text if icu.Char.charType(c) not in DELETED).strip(WS)
    if not text:
        return []
    u = icu.UnicodeString(text)
    if lowercase:
        u.toLower(ROOT)
    BREAKS.setText(u)
    out, start = [], 0
    for end in BREAKS:
        piece = str(u[start:end]).strip(WS)
        start = end
        if piece and not (remove_stopwords and piece in stopwords):
            out.append(piece)
    return out


if __name__ == "__main__":
    if sys.argv[1:] == ["unassigned"]:
        pickle.dump({c for c in range(0x110000) if icu.Char.charType(c) == icu.UCharCategory.UNASSIGNED},
                    sys.stdout.buffer)
        sys.exit()
    texts, remove_stopwords, lowercase, stopwords = pickle.load(sys.stdin.buffer)
    pickle.dump([tokenize(t, remove_stopwords, lowercase, stopwords) for t in texts], sys.stdout.buffer)
