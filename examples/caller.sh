# Shared by the example scripts: "ask KESTRIX... MEMBER ARG..." calls a member through the
# command-line caller, prints the call and its answer on standard error, and the answer on
# standard output; "result" reads the result out of an answer. KESTRIX_WORDS is the number of
# words of the command that runs kestrix.exe.
ask() {
    local answer
    answer=$("$@")
    printf '%-58s %s\n' "${*:$((KESTRIX_WORDS + 1))}" "$answer" >&2
    printf '%s\n' "$answer"
}
result() { python3 -c 'import json,sys; print(json.load(sys.stdin)["result"])'; }
