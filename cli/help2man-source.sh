#!/bin/sh
# help2man reads ravolin-cli's --help and --version through this script
# (RAVOLIN_CLI names the binary), so the man page says what --help says.
# The help's headings are turned into the forms help2man knows: "Usage:"
# and "or:" for the synopsis, "Options:" and "Examples:" for those
# sections, and *Heading* for a section of the page's own (a heading's
# parenthesis becomes its first paragraph). The help's "Files" are the
# arguments; a man page's FILES are the files the program makes.
# --version loses the scanner note, which describes this machine's code path,
# not the release.
set -eu
case ${1:-} in
  --help)
    "$RAVOLIN_CLI" --help | perl -0777 -pe '
      s/\Ausage: /Usage: /;
      s/^ {7}(ravolin-cli )/  or:  $1/m;
      # A heading: a line at the left edge after a blank line, before an indented one.
      s{(?<=\n\n)([A-Z][^\n]*)\n(?= )}{
        my $h = $1; my $note = "";
        ($h, $note) = ($1, "$2\n\n") if $h =~ /^(.*?) \((.*)\)$/;
        $h eq "Options"  ? "Options:\n" :
        $h eq "Examples" ? "Examples:\n" :
        "*" . ($h eq "Files" ? "Arguments" : $h) . "*\n\n" . ucfirst($note)
      }ge'
    ;;
  --version) "$RAVOLIN_CLI" --version | sed 's/ ([^)]* scan)$//' ;;
  *) exit 2 ;;
esac
