"""Writes a synthetic-language checkpoint (learn.py's model.pt) as a
whisper.cpp model file, with the closed-vocabulary recipe's exporter and
this language's words as the vocabulary's first tokens.

  /usr/bin/python3 write_model.py WORK_DIR/model.pt OUT.bin
"""

import os
import sys

sys.path.append(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "closed-vocabulary"))
from export import write  # noqa: E402

from language import WORDS  # noqa: E402

if __name__ == "__main__":
    write(sys.argv[1], sys.argv[2], WORDS)
