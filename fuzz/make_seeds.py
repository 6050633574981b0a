#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets (fuzz/corpus/<target>/) from
the command lines and files of the reference's examples. Run it again after
changing the seeds; the generated files are checked in."""
import hashlib
import os

HERE = os.path.dirname(os.path.abspath(__file__))

KW_INI = "Viewer start-up check\nExampleSoft\nViewer\n2.0\nviewer.exe\nrun&%APP%viewer.exe&none\ninstall&setup.txt\n"
SETUP = ("Viewer 2.0 installer\nExampleSoft\nViewer\n2.0\nYES\nYES\nNO\nViewer Setup\n"
         "Welcome.&&This installs the viewer on your computer.\nViewer Setup\n"
         "The viewer will be installed in the following folder:\nChoose the folder for the viewer\n"
         "Viewer Setup\nRestart not needed\n%PROG%\nExampleSoft\\Viewer\\\nNO\n" + "\n" * 20 +
         "copy&files\\viewer.exe&%APP%viewer.exe&FALSE\ncopy&files\\viewer.hlp&%APP%viewer.hlp&FALSE\n\n")
SHELL_FOLDERS = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"


def esc(text):
    return text.replace("\n", "\\n")


WORLD = ["fC:\\a.txt\tsome text", "fC:\\work\\files\\viewer.exe\tprogram", "fC:\\work\\files\\viewer.hlp\thelp",
         "fC:\\work\\kw.ini\t" + esc(KW_INI), "fC:\\work\\setup.txt\t" + esc(SETUP),
         "r1\t%s\tDesktop\tC:\\Desk" % SHELL_FOLDERS, "r1\t%s\tPrograms\tC:\\Menu\\Programs" % SHELL_FOLDERS,
         "r1\t%s\tStart Menu\tC:\\Menu" % SHELL_FOLDERS, "r1\t%s\tStartup\tC:\\Menu\\Programs\\Startup" % SHELL_FOLDERS,
         "dC:\\Desk", "dC:\\Menu\\Programs\\Startup", "fE:\\disk1.id\tx", "cE"]

COMMANDS = [
    "save&C:\\a.txt&Hello world", '"open&C:\\My Files\\read me.txt"', '"C:\\x\\y.dat" "batch&C:\\b.txt"',
    "C:\\out.txt&some text", "&abc", "hello", "", "save&C:\\a.txt&Hello|world", "a|b&c|d",
    '"save&C:\\a.txt&Hi', '"save&C:\\a.txt&say "hi""', '"', 'open&"C:\\a b.txt"', "save&a&b&c", "Save&x.txt&y",
    "copy&C:\\a.txt&C:\\b.txt", "copy&C:\\a.txt&C:\\b.txt&TRUE", "move&C:\\a.txt&C:\\b.txt&FALSE",
    "run&notepad.exe", "run&notepad.exe&none", "readme&x", "readme.txt&x", "cursor&anything",
    "message&Title&Hello&&World", "message&Title&&Text", "message&&Text", "confirm&Install&Install now?&batch&C:\\setup.txt",
    "confirm&Title&Question&", "confirm&Title&Question", "savePretty&C:\\p.txt&Line one&&Line two%TAB%x",
    "saveP&C:\\p.txt&%TAB&&%", "saveM&Saved&The file is saved&C:\\n.txt&text", "saveME&notepad.exe&none&C:\\n.txt&text",
    "savePM&Saved&Done%TAB%x&C:\\n.txt&a&&b", "savePME&C:\\n.txt&none&C:\\n.txt&a&&b",
    "deleteM&Gone&Deleted&C:\\a.txt", "deleteME&explorer.exe&C:\\&C:\\a.txt", "copyM&Copied&ok&C:\\a.txt&C:\\c.txt&TRUE",
    "copyME&C:\\c.txt&none&C:\\a.txt&C:\\c.txt&", "moveM&Moved&ok&C:\\a.txt&C:\\m.txt&", "moveME&C:\\m.txt&none&C:\\a.txt&C:\\m.txt&TRUE",
    "makeDir&C:\\new", "makeDirM&Made&ok&C:\\new", "makeDirME&C:\\new&none&C:\\new", "deleteDir&C:\\Desk",
    "deleteDirM&Removed&ok&C:\\Desk", "deleteDirME&C:\\&none&C:\\Desk", "delete&C:\\a.txt",
    "open&C:\\a.txt", "print&C:\\a.txt", "explore&C:\\", "run&%WIN%notepad.exe&%TEMP%x.txt",
    "reg&HKCU&Software\\Acme&Name&Value", "register&HKLM&Software\\Acme\\Sub&&default", "regSetValue&HKU&.DEFAULT\\X&v&t",
    "regToFile&HKCU&Software\\Acme&Name&C:\\reply.txt", "regGetValue&HKCR&.txt&&reply.txt", "regToFile&XX&a&b&r.txt",
    "regCreateKey&HKCU&Software\\Acme\\New", "regDeleteKey&HKCU&Software&Acme", "regDeleteValue&HKCU&Software\\Acme&Name",
    "pathToInstall&ExampleSoft&Viewer&2.0&viewer.exe&C:\\reply.txt", "pathToInstall&a&b&c&d&",
    "pathToCD&disk1.id&C:\\reply.txt", "pathToCD&missing.id&reply.txt", "pathToCDM&Found&The disk is in %s&disk1.id&C:\\r.txt",
    "pathToCDR&Insert disk&Please insert disk 1&&disk2.id&C:\\r.txt", "batch&C:\\work\\b.txt", "install&setup.txt",
    "startIcon&Viewer&%APP%viewer.exe&&The viewer&none&0&none&none&none&none",
    "deskIcon&Viewer&C:\\Program Files\\Viewer\\&viewer.exe&Viewer&C:\\v.ico&2&C:\\&Group&Sub&-x",
    "desktopIcon&V&C:\\v.exe&&d&none&x&none&G&none&none", "startUpIcon&V&C:\\v.exe&&d&none&0&none&none&none&/s",
    "programIcon&V&C:\\v.exe&&d&none&0&%WIN%&ExampleSoft&Viewer&none", "deleteIcon&0&Viewer.lnk",
    "deleteIcon&1&ExampleSoft\\Viewer\\V.lnk", "deleteIconDir&1&ExampleSoft\\Viewer", "deleteIconDir&x&G",
    "installCheck&kw.ini", "installCheck&setup.txt", "getUserDir&C:\\answer.txt&Choose a folder", "getUserDir&&",
    "savePrompt&C:\\reply.txt&Text files&*.txt&none&C:\\&Save as", "openPrompt&reply.txt&All&*.*&a.txt&%TEMP%&Open",
    "save&%APP%x.txt&%WIN%%TEMP%%PROG%%SYS%", "save&C:\\t.txt&%app% %WIN %SYS",
]


def write(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    if isinstance(data, str):
        data = data.encode("latin-1")
    digest = hashlib.sha1(data).hexdigest()[:12]
    with open(os.path.join(folder, "%s-%s" % (name, digest)), "wb") as f:
        f.write(data)


def main():
    for i, command in enumerate(COMMANDS):
        write("fuzz_runner", "cmd%02d" % i, "\n".join([command] + WORLD))
    # Dialog and box answers, code page 932, failing calls.
    write("fuzz_runner", "dialog", "\n".join(["getUserDir&C:\\answer.txt&Choose", "aC:\\Chosen"] + WORLD))
    write("fuzz_runner", "save-dialog", "\n".join(["savePrompt&reply.txt&T&*.txt&none&C:\\&S", "aC:\\Docs\\x.txt", "mC:\\Docs", "dC:\\Docs"] + WORLD))
    write("fuzz_runner", "retry", "\n".join(["pathToCDR&I&P&disk1.id&r.txt", "b4442", "cDE"] + WORLD))
    write("fuzz_runner", "cancel", "\n".join(["confirm&T&Q&save&C:\\x.txt&y", "b2"] + WORLD))
    write("fuzz_runner", "boxfail", "\n".join(["confirm&T&Q&save&C:\\x.txt&y", "b-"] + WORLD))
    write("fuzz_runner", "cp932", "\n".join(["save&C:\\\x83\\.txt&\x83|\x81&&x", "j"] + WORLD))
    write("fuzz_runner", "failcall", "\n".join(["move&C:\\a.txt&C:\\b.txt&", "x2"] + WORLD))
    write("fuzz_runner", "failname", "\n".join(["install&setup.txt", "ncoInitialize"] + WORLD))
    write("fuzz_runner", "selfbatch", "\n".join(["batch&C:\\work\\b.txt", "fC:\\work\\b.txt\tbatch&b.txt\\nbatch&b.txt\\n"] + WORLD))
    write("fuzz_runner", "dirs", "\n".join(["save&%WIN%%SYS%%TEMP%.txt&%TEMP%", "w%WIN%\t%TEMP%x\t%SYS%%WIN%"] + WORLD))

    for i, text in enumerate(["Line one&&Line two%TAB%x", "%TAB&&%", "&&&&&", "&&&", "Title&&Text",
                              "Welcome.&&This installs the viewer on your computer.", "%TAB%%TAB%&"]):
        write("fuzz_escapes", "text%d" % i, "\0" + text)
    write("fuzz_escapes", "cp932", "\1\x81&&\x83%TAB%\x81%TAB%")

    for i, text in enumerate(["%WIN%notepad.exe", "%WIN%\\notepad.exe", "%PROG%Viewer", "%TEMP%x.txt",
                              "a&%SYS%&b&%SYS%", "%WIN%%SYS%", "%app%%WIN", "%APP%viewer.exe&%WIN%"]):
        write("fuzz_tokens", "tok%d" % i, "\n".join([text] + WORLD + ["r2\tSoftware\\ExampleSoft\\Viewer\\2.0\tisDir\tC:\\Program Files\\ExampleSoft\\Viewer"]))
    write("fuzz_tokens", "selfref", "\n".join(["%WIN%%TEMP%%SYS%", "w%WIN%\t%TEMP%\t%SYS%"]))
    write("fuzz_tokens", "appwin", "\n".join(["%APP%", "fC:\\work\\kw.ini\t1\\na\\nb\\nc\\n", "r2\tSoftware\\a\\b\\c\tisDir\t%WIN%%APP%"]))
    write("fuzz_tokens", "fail", "\n".join(["%WIN%%SYS%%TEMP%", "ngetWindowsDirectory", "x2"]))

    for i, text in enumerate(["one\r\ntwo\r\nthree\r\n", "one\ntwo\nthree", "one\n\nthree\n", "a\x1ab\n",
                              "x" * 259 + "\nnext\n", "y" * 300 + "\nnext\n", "   \n", "x" * 259]):
        write("fuzz_line_reader", "lines%d" % i, "\0" + text)
    write("fuzz_line_reader", "failread", "\2" + "a\n" * 600)

    batches = ["save&C:\\1.txt&a\r\nsave&C:\\2.txt&b\r\nsave&C:\\3.txt&c\r\n", "save&x.txt&1\n\nsave&y.txt&2\n",
               "batch&b.txt\nbatch&b.txt\n", "copy&a.txt&c.txt\nmove&c.txt&d.txt&TRUE\ndelete&d.txt\n",
               "   \nsave&z.txt&z\n", "save&r.txt&1\x1asave&s.txt&2\n", "x" * 300 + "\nsave&after.txt&x\n",
               "pathToCD&setup.exe&r.txt\nregToFile&HKLM&Software\\Acme\\Tool\\1.0&isDir&r2.txt\n",
               "confirm&T&Q&batch&b.txt\nmessage&T&x&&y\n", "installCheck&kw.ini\n\n", "getUserDir&u.txt&t\n"]
    for i, text in enumerate(batches):
        write("fuzz_batch", "batch%d" % i, "\0" + text)
    write("fuzz_batch", "cp932", "\1save&\x83\\.txt&\x83|\n")

    write("fuzz_runner", "trace", "\n".join(["batch&C:\\work\\b.txt", "t", "fC:\\work\\b.txt\tsave&a\x01.txt&\x7f%TAB%\\nbatch&b.txt\\n"] + WORLD))

    write("fuzz_lint", "batch", "\0" + "".join(b + "\n" for b in COMMANDS if b))
    write("fuzz_lint", "check", "\1" + KW_INI)
    write("fuzz_lint", "installer", "\2" + SETUP)
    write("fuzz_lint", "cp932", "\4save&\x83\\.txt&\x83|\nsave\x83&x.txt&y\n")
    write("fuzz_lint", "long", "\2" + SETUP.replace("%PROG%", "x" * 300))

    write("fuzz_installer", "example", "\0" + SETUP)
    write("fuzz_installer", "browse", "\4" + SETUP.replace("NO\nViewer Setup", "YES\nViewer Setup", 1))
    write("fuzz_installer", "cancel", "\2" + SETUP)
    write("fuzz_installer", "restart", "\20" + SETUP.replace("\nNO\nViewer", "\nYES\nViewer", 1))
    write("fuzz_installer", "check", "\x28" + KW_INI)
    write("fuzz_installer", "self", "\0" + SETUP.replace("copy&files\\viewer.hlp", "install&setup.txt\ncopy&files\\viewer.hlp"))
    write("fuzz_installer", "short", "\0" + "\n".join(SETUP.split("\n")[:37]) + "\n")
    write("fuzz_installer", "nosub", "\0" + SETUP.replace("ExampleSoft\\Viewer\\", "Vendor\\Product"))
    write("fuzz_installer", "startIcon", "\0" + SETUP.replace("copy&files\\viewer.hlp&%APP%viewer.hlp&FALSE",
          "startIcon&Viewer&%APP%viewer.exe&&The viewer&none&0&none&ExampleSoft&none&none"))


if __name__ == "__main__":
    main()
