# shellcheck shell=bash
# Sourced by scripts/check-layers: reads the layer table (cmake/layers.txt)
# and checks the table itself and README.md's copy of it. Run from the top of
# the tree.

# The layer table (cmake/layers.txt): folder, kind, then what its files may
# include besides their own layer, whole layers or single headers. A file
# belongs to the longest layer that its path starts with.
table=cmake/layers.txt
names=()         # bottom up, as the table has them
portable=()
declare -A allowed kind
# Sets names, portable, allowed, kind and roots (the top folders of the layers).
# shellcheck disable=SC2034
read_table() {  # table file
    local name layer_kind rest
    names=()
    portable=()
    allowed=()
    kind=()
    while read -r name layer_kind rest; do
        [[ -z "$name" || "$name" == \#* ]] && continue
        names+=("$name")
        kind[$name]=$layer_kind
        allowed[$name]=${rest/#-/}
        [[ "$layer_kind" == portable ]] && portable+=("$name")
    done <"$1"
    roots=$(printf '%s\n' "${names[@]}" | cut -d/ -f1 | sort -u | xargs)
}
read_table "$table"

# The layer of a path, or nothing when it is in none.
layer_of() {
    local best=""
    for name in "${names[@]}"; do
        if [[ "$1" == "$name"/* && ${#name} -gt ${#best} ]]; then best=$name; fi
    done
    echo "$best"
}

# The layer a table entry is of: the entry when it is a layer, else the
# layer of the single header it names.
entry_layer() {
    if [[ -n "${kind[$1]:-}" ]]; then echo "$1"; else layer_of "$1"; fi
}

# The table itself, whatever it says: each row names only rows above it, so no
# arrow runs back up; a row names what the layers it names may include (the
# build lets a library see what the libraries it links see); a single header
# it names lies in a layer's own folder (the build makes its library there);
# and the floors hold: no layer under base/, state/, boxlink/, radio/, simlink/
# or platform/ names core/, and state/ names only base/. Prints each breach,
# returns their count (at most 255).
below_core="base state boxlink radio simlink platform"
check_table() {
    local count=0 name entry target inner seen=" "
    for name in "${names[@]}"; do
        for entry in ${allowed[$name]}; do
            target=$(entry_layer "$entry")
            if [[ "$seen" != *" $target "* ]]; then
                echo "$table: $name names $entry, which is not below it"
                count=$((count + 1))
            fi
            if [[ "$entry" == *.h && ( ! -f "$entry" || -z "${kind[$(dirname "$entry")]:-}" ) ]]; then
                echo "$table: $name names $entry, which is no header in a layer's own folder"
                count=$((count + 1))
            fi
            if [[ " $below_core " == *" ${name%%/*} "* && "$target" == core* ]]; then
                echo "$table: $name names $entry: nothing below core/ may include it"
                count=$((count + 1))
            fi
            if [[ "$name" == state && "$target" != base ]]; then
                echo "$table: state names $entry: the state includes only base/"
                count=$((count + 1))
            fi
            [[ "$entry" == "$target" ]] || continue
            for inner in ${allowed[$entry]}; do
                if [[ " ${allowed[$name]} " != *" $inner "* &&
                    " ${allowed[$name]} " != *" $(entry_layer "$inner") "* ]]; then
                    echo "$table: $name names $entry but not $inner, which $entry names"
                    count=$((count + 1))
                fi
            done
        done
        seen+="$name "
    done
    return $((count > 255 ? 255 : count))
}

# README.md's layer table, as the table gives it.
readme_table() {
    local name entry list
    echo "| Layer | Kind | May include |"
    echo "|---|---|---|"
    for name in "${names[@]}"; do
        list=""
        for entry in ${allowed[$name]}; do
            [[ -n "${kind[$entry]:-}" ]] && entry="$entry/"
            list+="${list:+, }\`$entry\`"
        done
        echo "| \`$name/\` | ${kind[$name]} | ${list:-nothing} |"
    done
}

check_readme() {
    local expected actual
    expected=$(readme_table)
    actual=$(sed -n '/^| Layer | Kind | May include |$/,/^$/p' README.md | sed '/^$/d')
    [[ "$expected" == "$actual" ]] && return 0
    echo "README.md: the layer table in Layout differs from $table, which gives:"
    echo "$expected"
    return 1
}
