# Figures shared by the start-up benchmarks; sourced, bash only.
# Each file holds one run a line, the same figure in the same column; line N of every file is
# round N, in which each program ran once, one after the other.

# stats FILE COLUMN: "median min max" of a column
stats() {
    cut -d' ' -f"$2" "$1" | sort -n | awk '{ a[NR] = $1 } END {
        m = (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2
        printf "%g %g %g\n", m, a[1], a[NR] }'
}

# paired FILE BASE COLUMN: "median min max" over the rounds of FILE's figure / BASE's figure
paired() {
    paste -d' ' <(cut -d' ' -f"$3" "$1") <(cut -d' ' -f"$3" "$2") |
        awk '$2 > 0 { print $1 / $2 }' | sort -n | awk '{ a[NR] = $1 } END {
        m = (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2
        printf "%.2f %.2f %.2f\n", m, a[1], a[NR] }'
}

# figure NAME UNIT FILE COLUMN: one program's median with its range
figure() {
    local m lo hi
    read -r m lo hi < <(stats "$3" "$4")
    printf '  %-32s %9s %-3s (%s-%s)\n' "$1" "$m" "$2" "$lo" "$hi"
}

# verdict NAME FILE BASE COLUMN TARGET: the paired ratio against its target; sets status=1
# when the median misses it
verdict() {
    local m lo hi ok
    read -r m lo hi < <(paired "$2" "$3" "$4")
    ok="$(awk -v r="$m" -v t="$5" 'BEGIN { print (r <= t) ? "within target" : "ABOVE TARGET" }')"
    [ "$ok" = "within target" ] || status=1
    printf '  %-32s ratio %s (%s-%s over rounds; %s, target <= %s)\n' "$1" "$m" "$lo" "$hi" "$ok" "$5"
}
