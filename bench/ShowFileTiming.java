import java.util.Arrays;

/**
 * showFile from a VM with a large touched heap against starting a program the Java platform's
 * own way (ProcessBuilder, which starts through posix_spawn) in the same VM, rounds alternating.
 *
 *   java -Xms4g -Xmx5g -XX:+AlwaysPreTouch ShowFileTiming <documents folder> <document> <rounds>
 */
public class ShowFileTiming {
    public static void main(String[] args) throws Exception {
        String folder = args[0];
        String document = args[1];
        int rounds = Integer.parseInt(args[2]);
        // The heap is touched by the VM's pre-touch; keep something alive in it as well.
        long[][] held = new long[64][];
        for (int i = 0; i < held.length; ++i) held[i] = new long[1 << 20];
        double[] show = new double[rounds];
        double[] spawn = new double[rounds];
        for (int warm = 0; warm < 3; ++warm) {
            Kestrilo.showFile(folder, document);
            new ProcessBuilder("/bin/true").start().waitFor();
        }
        for (int i = 0; i < rounds; ++i) {
            long began = System.nanoTime();
            Kestrilo.showFile(folder, document);
            show[i] = (System.nanoTime() - began) / 1e6;
            began = System.nanoTime();
            new ProcessBuilder("/bin/true").start().waitFor();
            spawn[i] = (System.nanoTime() - began) / 1e6;
        }
        long heap = Runtime.getRuntime().totalMemory() >> 20;
        System.out.printf("heap committed: %d MiB, held: %d%n", heap, held.length);
        report("showFile", show);
        report("ProcessBuilder start and wait ("
               + System.getProperty("jdk.lang.Process.launchMechanism", "default") + ")", spawn);
    }

    static void report(String name, double[] times) {
        double[] sorted = times.clone();
        Arrays.sort(sorted);
        System.out.printf("| %s | %.2f | %.2f | %.2f | %d |%n", name, sorted[sorted.length / 2],
                          sorted[0], sorted[sorted.length * 9 / 10], sorted.length);
    }
}
