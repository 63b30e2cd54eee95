# shellcheck shell=bash
# The style checks CI runs before the tests: every C++ file as .clang-format describes it, and
# every shell script we ship or run through shellcheck. Sourced by .ci/run after deps.sh.

# shellcheck disable=SC2034 # read by .ci/run
ZAV_LINT_PACKAGES=(clang-format shellcheck)

# Prints each file that is not formatted as .clang-format says, and fails when there is one.
zav_check_format() {
    local failed=0 file
    while IFS= read -r -d '' file; do
        if ! clang-format --dry-run --Werror "$file" 2>/dev/null; then
            echo "not formatted: $file (run: clang-format -i $file)" >&2
            failed=1
        fi
    done < <(git ls-files -z '*.cpp' '*.h')
    return "$failed"
}

# Every shell script through shellcheck: the bash ones and the POSIX sh ones (the .run stub and the start
# scripts of the bundle), each with the shell its first line names.
zav_check_shell() {
    local scripts=() file
    while IFS= read -r -d '' file; do
        case "$(head -c 64 "$file")" in
            '#!'*sh*) scripts+=("$file") ;;
        esac
    done < <(git ls-files -z scripts bundle tests '.ci')
    shellcheck -x "${scripts[@]}"
}

# docs/architecture.md says which folders each folder's code may include from (the last column
# of its table, folders without their slash, "-" for none): every `#include "folder/..."` in the
# product's code must keep to it.
zav_check_layering() {
    local failed=0 folder allowed file used
    while IFS='|' read -r folder allowed; do
        while IFS= read -r -d '' file; do
            for used in $(sed -n 's|^#include "\([a-z]*\)/.*|\1|p' "$file" | sort -u); do
                [ "$used" = "$folder" ] && continue
                case " $allowed " in
                    *" $used "*) ;;
                    *) echo "$file includes from $used/, which docs/architecture.md does not allow" >&2
                       failed=1 ;;
                esac
            done
        done < <(git ls-files -z "$folder/*.cpp" "$folder/*.h")
    done < <(sed -n 's/^| `\([a-z]*\)\/` |.*| \([a-z, -]*\) |$/\1|\2/p' docs/architecture.md | tr ',' ' ')
    return "$failed"
}
