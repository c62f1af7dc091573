import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.nio.file.StandardCopyOption;
import java.util.ArrayList;
import java.util.List;
import java.util.concurrent.atomic.AtomicInteger;

/**
 * Calls all six services of Kestrilo from many threads at once, as a Java application's worker
 * threads would, and prints what a test needs to check the outcome.
 *
 *   ManyThreads <threads> <rounds> <gifFile> <wavFile>
 *
 * Run in an empty folder. First, single-threaded, it makes the reference outputs ref.gif, ref.jpg
 * and ref.au. Then each thread t works in its folder t<t>/ (made here, holding same.txt of
 * 100 + t bytes) and in every round r makes, alternating relative and absolute names:
 * c<r>.cab from the relative entry "same.txt", g<r>.gif (a copy of the GIF made transparent),
 * j<r>.jpg, a<r>.au; it also puts a text on the clipboard and asks for same.txt to be shown.
 * Last it prints "cwd=<the process's current directory>", "umask=<octal>" and "failures=<n>",
 * the count of calls whose result was not the expected one.
 */
public class ManyThreads {
    static final int WIDTH = 61;
    static final int HEIGHT = 37;

    public static void main(String[] args) throws Exception {
        int threads = Integer.parseInt(args[0]);
        int rounds = Integer.parseInt(args[1]);
        Path gif = Paths.get(args[2]).toAbsolutePath();
        String wav = Paths.get(args[3]).toAbsolutePath().toString();
        Path here = Paths.get("").toAbsolutePath();
        int[] pixels = picture();

        Files.copy(gif, here.resolve("ref.gif"), StandardCopyOption.REPLACE_EXISTING);
        AtomicInteger failures = new AtomicInteger();
        expect(failures, Kestrilo.makeTransparent("ref.gif"), 1, "makeTransparent ref");
        expect(failures, Kestrilo.saveJPEG("ref.jpg", pixels, WIDTH, HEIGHT), 1, "saveJPEG ref");
        expect(failures, Kestrilo.wav2au(wav, "ref.au"), 1, "wav2au ref");

        for (int t = 0; t < threads; ++t) {
            Path folder = Files.createDirectories(here.resolve("t" + t));
            Files.write(folder.resolve("same.txt"), new byte[100 + t]);
        }
        List<Thread> workers = new ArrayList<>();
        for (int t = 0; t < threads; ++t) {
            final int id = t;
            Thread worker = new Thread(() -> {
                try {
                    work(id, rounds, gif, wav, pixels, here, failures);
                } catch (IOException e) {
                    System.out.println("error=" + e);
                    failures.incrementAndGet();
                }
            });
            workers.add(worker);
            worker.start();
        }
        for (Thread worker : workers) worker.join();

        System.out.println("cwd=" + Files.readSymbolicLink(Paths.get("/proc/self/cwd")));
        for (String line : Files.readAllLines(Paths.get("/proc/self/status"))) {
            if (line.startsWith("Umask:")) System.out.println("umask=" + line.substring(6).trim());
        }
        System.out.println("failures=" + failures.get());
    }

    static void work(int id, int rounds, Path gif, String wav, int[] pixels, Path here,
                     AtomicInteger failures) throws IOException {
        String relative = "t" + id;
        String absolute = here.resolve(relative).toString();
        for (int r = 0; r < rounds; ++r) {
            String folder = (r % 2 == 0) ? relative : absolute;
            String prefix = folder + "/";
            expect(failures, Kestrilo.makeCab(new String[] {"same.txt"}, folder, "c" + r + ".cab"),
                   1, "makeCab");
            Files.copy(gif, here.resolve(relative).resolve("g" + r + ".gif"),
                       StandardCopyOption.REPLACE_EXISTING);
            expect(failures, Kestrilo.makeTransparent(prefix + "g" + r + ".gif"), 1,
                   "makeTransparent");
            expect(failures, Kestrilo.saveJPEG(prefix + "j" + r + ".jpg", pixels, WIDTH, HEIGHT),
                   1, "saveJPEG");
            expect(failures, Kestrilo.wav2au(wav, prefix + "a" + r + ".au"), 1, "wav2au");
            Kestrilo.copyToClipboard("thread " + id + " round " + r);  // 0 without a desktop
            expect(failures, Kestrilo.showFile(absolute, "same.txt"), 1, "showFile");
        }
    }

    static void expect(AtomicInteger failures, int result, int expected, String what) {
        if (result != expected) {
            System.out.println("unexpected " + what + "=" + result);
            failures.incrementAndGet();
        }
    }

    // No symmetry, every channel different.
    static int[] picture() {
        int[] pixels = new int[WIDTH * HEIGHT];
        for (int y = 0; y < HEIGHT; ++y) {
            for (int x = 0; x < WIDTH; ++x) {
                pixels[y * WIDTH + x] = ((x * 4) << 16) | ((y * 7) << 8) | ((x * y) & 0xFF);
            }
        }
        return pixels;
    }
}
