#!/bin/sh
# A program whose hull is wrong: the first three points of its input.
head -n 3 "$1"
