"""Reads the Ansible playbook as the collection installed here knows it.

Every option given to an ansible.windows module must be one the module
documents (ansible-lint cannot see into PowerShell modules), and
requirements.yml's minimum must be at least the version that added each of
them. Then the playbook's promises: program output read as UTF-8, the
copy and its removal never a change, the restart scheduled on the host
and never waited for. Prints "ok: ..." or "FAIL: ..." lines.

    python3 playbook_read.py PLAYBOOK REQUIREMENTS
"""

import json
import re
import subprocess
import sys

import yaml


def tasks(items):
    for task in items:
        yield task
        for part in ("block", "rescue", "always"):
            yield from tasks(task.get(part, []))


def version(text):
    return tuple(int(number) for number in re.findall(r"\d+", text)[:3])


def main(playbook_path, requirements_path):
    failures = 0

    def report(passed, what):
        nonlocal failures
        print(("ok: " if passed else "FAIL: ") + what)
        failures += not passed

    with open(playbook_path, encoding="utf-8") as file:
        play = yaml.safe_load(file)[0]
    with open(requirements_path, encoding="utf-8") as file:
        requirements = yaml.safe_load(file)
    minimum = next(
        version(entry["version"])
        for entry in requirements["collections"]
        if entry["name"] == "ansible.windows"
    )

    all_tasks = list(tasks(play["tasks"]))
    used = {
        (module, option)
        for task in all_tasks
        for module, arguments in task.items()
        if module.startswith("ansible.windows.")
        for option in arguments
    }
    modules = sorted({module for module, _ in used})
    documented = json.loads(subprocess.run(["ansible-doc", "-j", *modules], check=True,
                                           capture_output=True, text=True).stdout)
    for module, option in sorted(used):
        known = documented.get(module, {}).get("doc", {}).get("options", {})
        report(option in known, f"{module} documents {option}")
        added = known.get(option, {}).get("version_added")
        if added:
            report(version(str(added)) <= minimum,
                   f"requirements.yml's ansible.windows {'.'.join(map(str, minimum))} has {module}'s {option} "
                   f"(added in {added})")

    commands = [task for task in all_tasks if "ansible.windows.win_command" in task]
    for task in commands:
        if "stravik_exe" not in task["ansible.windows.win_command"]["argv"][0]:
            continue
        report(task["ansible.windows.win_command"].get("output_encoding_override") == "utf-8",
               f"{task['name']}: stravikc's output read as UTF-8")
    for task in all_tasks:
        if "ansible.windows.win_copy" in task or "ansible.windows.win_file" in task:
            report(task.get("changed_when") is False, f"{task['name']}: never a change")
    report(not any(module.endswith("win_reboot") for task in all_tasks for module in task),
           "no task waits for a restart")
    restarts = [task for task in commands
                if task["ansible.windows.win_command"]["argv"][:3] == ["shutdown.exe", "/r", "/t"]]
    report(len(restarts) == 1 and "/c" in restarts[0]["ansible.windows.win_command"]["argv"],
           "one task schedules the restart on the host with shutdown.exe /r /t N /c MESSAGE")
    listing = next((task for task in all_tasks if task["name"].startswith("List the hosts")), {})
    report("1190" in str(listing.get("when")),
           "a restart already scheduled (1190) counts as scheduled, not listed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
