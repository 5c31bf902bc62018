"""The Task Scheduler definition as the release ships it: in the form
Task Scheduler exports and schtasks /create /xml takes (UTF-16LE with a
byte-order mark, a declaration that says so, CR LF line ends, well-formed),
with what the task schema requires of it, and carrying every setting that
deploy/README.txt lists for it. Prints "ok: ..." or "FAIL: ..." lines.

    python3 task_xml_check.py TASK_XML README_TXT
"""

import re
import sys
import xml.etree.ElementTree as ElementTree

NAMESPACE = "http://schemas.microsoft.com/windows/2004/02/mit/task"
# An XML duration as the schema takes it: PnYnMnDTnHnMnS, some part given.
DURATION = re.compile(r"P(?!$)(\d+Y)?(\d+M)?(\d+D)?(T(?=\d)(\d+H)?(\d+M)?(\d+S)?)?$")


def main(task_path, readme_path):
    failures = 0

    def report(passed, what):
        nonlocal failures
        print(("ok: " if passed else "FAIL: ") + what)
        failures += not passed

    data = open(task_path, "rb").read()
    report(data.startswith(b"\xff\xfe"), "UTF-16LE with a byte-order mark")
    text = data[2:].decode("utf-16-le")
    report(text.startswith('<?xml version="1.0" encoding="UTF-16"?>\r\n'),
           "its declaration says UTF-16")
    report("\n" not in text.replace("\r\n", ""), "CR LF line ends")
    try:
        task = ElementTree.fromstring(data)
    except ElementTree.ParseError as error:
        report(False, f"well-formed: {error}")
        return 1
    report(True, "well-formed")

    def find(path):
        return task.find("/".join(f"{{{NAMESPACE}}}{part}" for part in path.split("/")))

    report(task.tag == f"{{{NAMESPACE}}}Task" and task.get("version") == "1.2",
           "a Task of the schema's namespace, version 1.2 (Windows 7 and later)")
    report(find("Actions/Exec/Command") is not None and find("Actions/Exec/Command").text,
           "an Exec action with its Command")
    principal = find("Principals/Principal")
    report(principal is not None and find("Actions").get("Context") == principal.get("id"),
           "the actions run in the context of the task's one principal")
    duration_tags = {f"{{{NAMESPACE}}}{name}" for name in ("ExecutionTimeLimit", "Interval", "Delay")}
    durations = [element for element in task.iter() if element.tag in duration_tags]
    report(all(DURATION.match(element.text or "") for element in durations),
           "every duration an XML duration")
    count = find("Settings/RestartOnFailure/Count")
    report(count is None or 1 <= int(count.text) <= 999, "restarts on failure 1 to 999")
    priority = find("Settings/Priority")
    report(priority is None or 0 <= int(priority.text) <= 10, "a priority of 0 to 10")

    readme = open(readme_path, encoding="ascii").read().replace("\r\n", "\n")
    section = readme.split("\nTask Scheduler (without Group Policy)\n", 1)[-1]
    section = re.split(r"\n\n[^\n]+\n-{3,}\n", section, maxsplit=1)[0]
    settings = re.findall(r"^    ([A-Z][A-Za-z]*(?:/[A-Z][A-Za-z]*)+) {2,}(.+)$", section, re.M)
    report(len(settings) >= 10, f"README.txt lists {len(settings)} of its settings")
    for path, value in settings:
        element = find(path)
        held = None if element is None else element.text
        report(held == value, f"{path} is {value}" + ("" if held == value else f" (it holds {held})"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
