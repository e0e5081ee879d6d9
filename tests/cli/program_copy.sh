# copy_program PROGRAM COPY: a copy of PROGRAM at COPY that any user may run,
# whatever the folders above the build tree let them reach. A program run
# under an emulator is a wrapper that the build wrote (emulator='...' and
# program='...' lines): its copy is a wrapper of copies of both.
copy_program() {
    if [ "$(head -c 2 "$1")" != "#!" ]; then
        cp "$1" "$2" && chmod 755 "$2"
        return
    fi
    emulator=$(sed -n "s/^emulator='\(.*\)'\$/\1/p" "$1")
    program=$(sed -n "s/^program='\(.*\)'\$/\1/p" "$1")
    [ -n "$emulator" ] && [ -n "$program" ] || { echo "copy_program: $1 is no wrapper of the build" >&2; return 1; }
    cp "$emulator" "$2.emulator" && cp "$program" "$2.program" && chmod 755 "$2.emulator" "$2.program" || return 1
    printf '#!/bin/sh\nexec "%s" "%s" "$@"\n' "$2.emulator" "$2.program" >"$2" && chmod 755 "$2"
}
