// The page's part in the demo, run by the script host: creates the control by its ProgID and
// calls it as a web page would. Usage: cscript //nologo demo.js launch <world file URL>
//                                      cscript //nologo demo.js check <description URL>
var args = WScript.Arguments;
try {
    var checker = new ActiveXObject("QxChecker.Checker");
    if (args(0) == "launch") {
        checker.Launch(args(1));
        WScript.Echo("Launch(" + args(1) + ") returned");
    } else if (args(0) == "check") {
        var ok = checker.Check(args(1));
        WScript.Echo("Check(" + args(1) + ") returned bOk = " + ok);
    }
    WScript.Quit(0);
} catch (e) {
    WScript.Echo("script error: " + e.message + " (" + (e.number >>> 0).toString(16) + ")");
    WScript.Quit(1);
}
