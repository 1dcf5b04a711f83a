# Shared by the benchmark scripts: reading hyperfine's JSON exports.

mean() {  # mean of command N of a hyperfine export
  /usr/bin/python3 -c "import json,sys; print(json.load(open(sys.argv[1]))['results'][int(sys.argv[2])]['mean'])" "$1" "$2"
}

ratio() { /usr/bin/python3 -c "import sys; print(f'{float(sys.argv[1]) / float(sys.argv[2]):.2f}')" "$1" "$2"; }
