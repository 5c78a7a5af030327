#!/bin/sh
# A program that ends with an error.
echo "cannot open the display" >&2
exit 3
