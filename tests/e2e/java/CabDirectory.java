/**
 * Shows, from a real JVM, which directory is current around Kestrilo.makeCab: a marker file in
 * the starting directory is read through the library by its relative name before a build, after
 * a build that succeeds and after one that fails. Prints "<when>=<size or -1>" lines.
 *
 *   CabDirectory <cabinet path>
 */
public class CabDirectory {
    public static void main(String[] args) {
        System.out.println("before=" + BoundaryProbe.load("marker.txt"));
        Kestrilo.makeCab(new String[] {"a.txt"}, args[0], "ok.cab");
        System.out.println("afterSuccess=" + BoundaryProbe.load("marker.txt"));
        Kestrilo.makeCab(new String[] {"missing.txt"}, args[0], "failed.cab");
        System.out.println("afterFailure=" + BoundaryProbe.load("marker.txt"));
    }
}
