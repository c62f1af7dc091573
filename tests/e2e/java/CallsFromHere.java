import java.nio.file.Files;
import java.nio.file.Paths;

/**
 * Calls makeCab and showFile from whatever directory it was started in, then prints the results
 * and the process's current directory as the kernel sees it:
 *
 *   CallsFromHere <cabPath> <cabName> <entry> <showDirectory> <showFile>
 *
 * prints "makeCab=<n>", "showFile=<n>" and "cwd=<directory>".
 */
public class CallsFromHere {
    public static void main(String[] args) throws Exception {
        int cab = Kestrilo.makeCab(new String[] {args[2]}, args[0], args[1]);
        int show = Kestrilo.showFile(args[3], args[4]);
        System.out.println("makeCab=" + cab);
        System.out.println("showFile=" + show);
        System.out.println("cwd=" + Files.readSymbolicLink(Paths.get("/proc/self/cwd")));
    }
}
