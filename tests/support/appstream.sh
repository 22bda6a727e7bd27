# Sourced by the install and the package test: the one appstreamcli note that they let pass.
#
# The metadata names its developer in a <developer> element, which AppStream 1.0 asks for (it
# notes both its absence and the older <developer_name> as gaps). appstreamcli before 1.0 (0.16
# on Debian 12) does not know the element yet and notes it as an unknown tag; on such a
# validator, and there only, that one note is no fault.
appstream_allowed_note() {
    if [[ "$(appstreamcli --version)" =~ version:\ 0\. ]]; then
        printf '%s\n' '^ *I: [^ ]+: unknown-tag developer$'
    else
        printf '%s\n' '^$'
    fi
}
