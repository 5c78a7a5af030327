#!/bin/sh
# A program that prints nothing.
exit 0
