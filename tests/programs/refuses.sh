#!/bin/sh
# A program that refuses every input, saying why.
echo "refused: this program takes no input" >&2
exit 1
