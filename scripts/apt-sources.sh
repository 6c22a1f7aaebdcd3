# Shared helpers for the bootstrap and the xz source fetch. Sourced, not run.
# Every list is derived from the machine's own apt configuration: nothing here
# names a package host.

# All one-line and deb822 source entries of this machine, as one-line entries.
ks_machine_sources() {
  local f
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] && grep -E '^[[:space:]]*deb(-src)?[[:space:]]' "$f"
  done
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    # deb822 stanzas: Types, URIs, Suites, Components (Signed-By kept).
    awk '
      function flush() {
        if (uris != "" && suites != "") {
          n = split(types, t, " "); m = split(uris, u, " "); k = split(suites, s, " ")
          for (i = 1; i <= n; i++) for (j = 1; j <= m; j++) for (l = 1; l <= k; l++) {
            opt = (signed != "") ? "[signed-by=" signed "] " : ""
            print t[i] " " opt u[j] " " s[l] " " comps
          }
        }
        types = ""; uris = ""; suites = ""; comps = ""; signed = ""
      }
      /^[[:space:]]*#/ { next }
      /^[[:space:]]*$/ { flush(); next }
      /^Types:/      { sub(/^Types:[[:space:]]*/, "");      types = $0 }
      /^URIs:/       { sub(/^URIs:[[:space:]]*/, "");       uris = $0 }
      /^Suites:/     { sub(/^Suites:[[:space:]]*/, "");     suites = $0 }
      /^Components:/ { sub(/^Components:[[:space:]]*/, ""); comps = $0 }
      /^Signed-By:/  { sub(/^Signed-By:[[:space:]]*/, "");  signed = $0 }
      END { flush() }
    ' "$f"
  done
}

# The machine's binary entries with the security suite left out.
ks_sources_without_security() {
  ks_machine_sources | grep -E '^deb[[:space:]]' | grep -v -E '[-/]security([[:space:]]|/|$)'
}

# The machine's binary entries turned into source entries.
ks_source_entries() {
  ks_machine_sources | grep -E '^deb[[:space:]]' | sed -E 's/^deb([[:space:]])/deb-src\1/'
}
